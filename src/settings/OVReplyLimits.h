#pragma once

#include "OVError.h"

#include <QObject>

#include <optional>

class QNetworkReply;

/**
 * The two limits every web exchange has besides Qt's inactivity timeout (which a server dripping one
 * byte at a time never trips): a total deadline, and a cap on the answer's body, past which the body
 * is not read into memory. Either one aborts the reply, which then finishes; error() says which limit
 * ended it. Lives as the reply's child, on the reply's thread.
 */
class OVReplyLimits : public QObject {
    Q_OBJECT
public:
    /** Answers above this many bytes are refused by JSON exchanges: a few MiB covers any honest page. */
    static constexpr qint64 kMaxJsonAnswerBytes = 4 * 1024 * 1024;

    /** Watches reply from now on; deadlineSeconds and maxAnswerBytes above 0 are enforced. */
    static OVReplyLimits* watch(QNetworkReply* reply, int deadlineSeconds, qint64 maxAnswerBytes);

    /** The limit that ended reply, as a transport error ("QNetworkReply", Qt's code); none while none did. */
    static std::optional<OVError> exceeded(const QNetworkReply* reply);
    /** The reply's own transport error, or the limit's when one ended it. */
    static OVError transportError(QNetworkReply* reply);

private:
    OVReplyLimits(QNetworkReply* reply, int deadlineSeconds, qint64 maxAnswerBytes);
    void onProgress(qint64 received, qint64 announced);
    void exceed(int code, const QString& description);

    QNetworkReply* const m_reply;
    const int m_deadlineSeconds;
    const qint64 m_maxAnswerBytes;
    std::optional<OVError> m_error;
};
