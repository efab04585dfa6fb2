#include "OVReplyLimits.h"

#include "OVLogFormat.h"
#include "OVLogger.h"

#include <QNetworkReply>
#include <QTimer>

OVReplyLimits* OVReplyLimits::watch(QNetworkReply* reply, int deadlineSeconds, qint64 maxAnswerBytes) {
    return new OVReplyLimits(reply, deadlineSeconds, maxAnswerBytes);
}

OVReplyLimits::OVReplyLimits(QNetworkReply* reply, int deadlineSeconds, qint64 maxAnswerBytes)
    : QObject(reply)
    , m_reply(reply)
    , m_deadlineSeconds(deadlineSeconds)
    , m_maxAnswerBytes(maxAnswerBytes) {
    if (deadlineSeconds > 0) {
        auto* timer = new QTimer(this);
        timer->setSingleShot(true);
        timer->setTimerType(Qt::CoarseTimer);
        connect(timer, &QTimer::timeout, this, [this] {
            exceed(QNetworkReply::TimeoutError,
                   OVLogFormat::format("No complete answer within %i s", m_deadlineSeconds));
        });
        connect(reply, &QNetworkReply::finished, timer, &QTimer::stop);
        timer->start(deadlineSeconds * 1000);
    }
    // Not a read buffer size: with one, Qt ends an answer without a length at the buffer's size, as if
    // it were whole. The progress comes as the bytes do, and the abort stops the reading.
    if (maxAnswerBytes > 0)
        connect(reply, &QNetworkReply::downloadProgress, this, &OVReplyLimits::onProgress);
}

void OVReplyLimits::onProgress(qint64 received, qint64 announced) {
    // An announced length over the cap is refused before its body comes.
    if (received > m_maxAnswerBytes || announced > m_maxAnswerBytes)
        exceed(QNetworkReply::UnknownContentError,
               OVLogFormat::format("The answer is larger than %lli bytes", m_maxAnswerBytes));
}

void OVReplyLimits::exceed(int code, const QString& description) {
    if (m_error)
        return;
    // Even when the last bytes came at once with the end: an answer over the cap is not taken.
    m_error = OVError(OVError::networkDomain(), code, description);
    OVLog("Request aborted: %@ (%@)", description, m_reply->url().toString());
    if (!m_reply->isFinished())
        m_reply->abort();
}

std::optional<OVError> OVReplyLimits::exceeded(const QNetworkReply* reply) {
    const OVReplyLimits* limits = reply->findChild<OVReplyLimits*>(QString(), Qt::FindDirectChildrenOnly);
    return limits ? limits->m_error : std::nullopt;
}

OVError OVReplyLimits::transportError(QNetworkReply* reply) {
    if (const std::optional<OVError> limit = exceeded(reply))
        return *limit;
    return OVError(OVError::networkDomain(), static_cast<int>(reply->error()), reply->errorString());
}
