#include "OVURLRequest.h"

#include "OVError.h"

#include "OVReplyLimits.h"
#include "OVSendOnceBody.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

OVURLRequest::OVURLRequest(QUrl url, int timeoutIntervalSeconds)
    : m_url(std::move(url))
    , m_timeoutInterval(timeoutIntervalSeconds)
    , m_maxAnswerBytes(OVReplyLimits::kMaxJsonAnswerBytes) {}

QString OVURLRequest::absoluteURLString() const {
    return QString::fromUtf8(m_url.toEncoded(QUrl::FullyEncoded));
}

void OVURLRequest::setValue(const QString& value, const QString& field) {
    for (QPair<QString, QString>& header : m_headers) {
        if (header.first.compare(field, Qt::CaseInsensitive) == 0) {
            header.second = value;
            return;
        }
    }
    m_headers.append({field, value});
}

std::optional<QString> OVURLRequest::valueForHTTPHeaderField(const QString& field) const {
    for (const QPair<QString, QString>& header : m_headers)
        if (header.first.compare(field, Qt::CaseInsensitive) == 0)
            return header.second;
    return std::nullopt;
}

std::optional<OVURLRequest> OVURLRequest::redirectedTo(int status, const QByteArray& location) const {
    if (status != 301 && status != 302 && status != 303 && status != 307 && status != 308)
        return std::nullopt;
    const QUrl target = m_url.resolved(QUrl::fromEncoded(location));
    // Another origin could be anyone: the credentials and the signature go nowhere but home.
    if (location.isEmpty() || !target.isValid() || target.scheme() != m_url.scheme() ||
        target.host() != m_url.host() || target.port(-1) != m_url.port(-1))
        return std::nullopt;
    OVURLRequest next(*this);
    next.m_url = target;
    if (status == 303 || (m_method == QLatin1String("POST") && status <= 302)) {
        next.m_method = QStringLiteral("GET");
        next.m_body.clear();
        next.m_bodyFilePath.clear();
    }
    return next;
}

QNetworkRequest OVURLRequest::networkRequest() const {
    QNetworkRequest request(m_url);
    for (const QPair<QString, QString>& header : m_headers)
        request.setRawHeader(header.first.toLatin1(), header.second.toUtf8());
    request.setTransferTimeout(m_timeoutInterval * 1000);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    // A file body can be read again from the start; Qt need not keep a copy of it in memory.
    if (!m_bodyFilePath.isEmpty())
        request.setAttribute(QNetworkRequest::DoNotBufferUploadDataAttribute, true);
    return request;
}

QNetworkReply* OVURLRequest::send(QNetworkAccessManager& manager, OVError* error) const {
    QNetworkReply* reply = start(manager, error);
    if (reply)
        OVReplyLimits::watch(reply, deadline(), maxAnswerBytes());
    return reply;
}

QNetworkReply* OVURLRequest::start(QNetworkAccessManager& manager, OVError* error) const {
    const QNetworkRequest request = networkRequest();
    const QByteArray verb = m_method.toLatin1();
    if (!m_bodyFilePath.isEmpty()) {
        auto* file = new QFile(m_bodyFilePath);
        if (!file->open(QIODevice::ReadOnly)) {
            OVError::set(error, OVError(OVError::networkDomain(), QNetworkReply::ProtocolFailure,
                                        file->errorString()));
            delete file;
            return nullptr;
        }
        QNetworkReply* reply = manager.sendCustomRequest(request, verb, file);
        file->setParent(reply);
        return reply;
    }
    if (m_body.isEmpty() && verb == "GET")
        return manager.get(request);
    if (m_body.isEmpty() && verb == "HEAD")
        return manager.head(request);
    if (verb == "POST") { // creates something: a repeat after a broken connection would create it twice
        auto* body = new OVSendOnceBody(m_body);
        QNetworkReply* reply = manager.sendCustomRequest(request, verb, body);
        body->setParent(reply);
        return reply;
    }
    return manager.sendCustomRequest(request, verb, m_body);
}
