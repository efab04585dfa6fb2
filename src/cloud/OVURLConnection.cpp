#include "OVURLConnection.h"

#include "OVReplyLimits.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

OVURLConnection::OVURLConnection(OVURLRequest request, std::weak_ptr<OVURLConnectionDelegate> delegate)
    : m_request(std::move(request))
    , m_delegate(std::move(delegate))
    , m_manager(new QNetworkAccessManager(this)) {}

OVURLConnection::~OVURLConnection() {
    cancel();
}

void OVURLConnection::start() {
    OVError openError;
    QNetworkReply* reply = m_request.send(*m_manager, &openError);
    if (!reply) {
        if (auto d = delegate())
            d->connectionDidFailWithError(this, openError);
        return;
    }
    m_reply = reply;
    connect(reply, &QNetworkReply::metaDataChanged, this, &OVURLConnection::onMetaDataChanged);
    connect(reply, &QNetworkReply::readyRead, this, &OVURLConnection::onReadyRead);
    connect(reply, &QNetworkReply::uploadProgress, this, &OVURLConnection::onUploadProgress);
    connect(reply, &QNetworkReply::finished, this, &OVURLConnection::onFinished);
}

void OVURLConnection::cancel() {
    m_cancelled = true;
    if (m_reply) {
        QNetworkReply* reply = m_reply;
        m_reply = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

std::shared_ptr<OVURLConnectionDelegate> OVURLConnection::delegate() const {
    return m_cancelled ? nullptr : m_delegate.lock();
}

void OVURLConnection::onMetaDataChanged() {
    const QVariant status =
        m_reply ? m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute) : QVariant();
    if (m_responseReported || !status.isValid())
        return;
    m_responseReported = true;
    if (auto d = delegate())
        d->connectionDidReceiveResponse(this, status.toLongLong());
}

void OVURLConnection::onReadyRead() {
    if (!m_reply)
        return;
    onMetaDataChanged();
    const QByteArray data = m_reply->readAll();
    if (data.isEmpty())
        return;
    if (auto d = delegate())
        d->connectionDidReceiveData(this, data);
}

void OVURLConnection::onUploadProgress(qint64 bytesSent, qint64 bytesTotal) {
    // Qt reports running totals, and a final (0, 0) once the reply has finished: only growth counts.
    if (bytesSent <= m_bytesSent)
        return;
    const qint64 written = bytesSent - m_bytesSent;
    m_bytesSent = bytesSent;
    if (auto d = delegate())
        d->connectionDidSendBodyData(this, written, bytesSent, bytesTotal);
}

void OVURLConnection::onFinished() {
    QNetworkReply* reply = m_reply;
    if (!reply)
        return;
    onReadyRead();
    m_reply = nullptr;
    reply->deleteLater();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    auto d = delegate();
    if (!d)
        return;
    // An HTTP answer of any status is a finished load; a missing answer, or one cut at its deadline or
    // size cap, is a failure.
    if (status.isValid() && !OVReplyLimits::exceeded(reply)) {
        onMetaDataChanged();
        d->connectionDidFinishLoading(this);
    } else {
        d->connectionDidFailWithError(this, OVReplyLimits::transportError(reply));
    }
}
