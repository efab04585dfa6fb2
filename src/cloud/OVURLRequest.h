#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

#include <optional>

class OVError;
class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

/**
 * A web API request before it is sent: URL, method, headers in the order they were set, and a body
 * held in memory or streamed from a file. It always reloads from the server (no cache). It gives up
 * when no byte moved either way for its timeout, when its deadline passes however the bytes move, and
 * when the answer grows past its cap. A plain value: build it on one thread, send it on another.
 */
class OVURLRequest {
public:
    /** Inactivity: no byte sent or received for this long. */
    static constexpr int kDefaultTimeoutInterval = 60;
    /** A JSON exchange is a few KiB: two minutes covers the slowest honest link, not a dripping server. */
    static constexpr int kDefaultDeadline = 120;

    explicit OVURLRequest(QUrl url = QUrl(), int timeoutIntervalSeconds = kDefaultTimeoutInterval);

    const QUrl& URL() const { return m_url; }
    /** The complete absolute URL, query included, exactly as it goes on the wire. */
    QString absoluteURLString() const;
    const QString& HTTPMethod() const { return m_method; }
    void setHTTPMethod(const QString& method) { m_method = method; }
    int timeoutInterval() const { return m_timeoutInterval; }
    /** Seconds from the start to the whole answer; 0 means none. */
    int deadline() const { return m_deadline; }
    void setDeadline(int seconds) { m_deadline = seconds; }
    /** Bytes of answer body taken at most; a longer answer fails the request. */
    qint64 maxAnswerBytes() const { return m_maxAnswerBytes; }
    void setMaxAnswerBytes(qint64 bytes) { m_maxAnswerBytes = bytes; }

    /** Replaces the header of that name (compared without case) where it stands, or appends it. */
    void setValue(const QString& value, const QString& field);
    std::optional<QString> valueForHTTPHeaderField(const QString& field) const;
    /** Name and value of every header, in the order they were first set. */
    const QList<QPair<QString, QString>>& allHTTPHeaderFields() const { return m_headers; }

    const QByteArray& HTTPBody() const { return m_body; }
    void setHTTPBody(const QByteArray& body) { m_body = body; }
    /** A file whose bytes are the body, read a buffer at a time while sending; replaces HTTPBody. */
    const QString& HTTPBodyFilePath() const { return m_bodyFilePath; }
    void setHTTPBodyFilePath(const QString& path) { m_bodyFilePath = path; }

    /**
     * The request a redirect answer asks for, when status is a redirect (301, 302, 303, 307, 308)
     * and location (resolved against URL()) has the same scheme, host and port; otherwise none.
     * A 303, and a 301 or 302 to a POST, become a GET without body; the others keep method and body.
     */
    std::optional<OVURLRequest> redirectedTo(int status, const QByteArray& location) const;

    /** The headers, timeout and cache settings as a QNetworkRequest (redirects are not followed). */
    QNetworkRequest networkRequest() const;
    /**
     * Starts the exchange on manager's thread, its deadline and answer cap watched by an OVReplyLimits.
     * A file body is opened here and owned by the reply. An in-memory POST body is sent at most once: a
     * broken connection fails the request, never repeats it.
     * Returns null, with *error set (a transport failure), when the body file cannot be opened.
     */
    QNetworkReply* send(QNetworkAccessManager& manager, OVError* error = nullptr) const;

private:
    QNetworkReply* start(QNetworkAccessManager& manager, OVError* error) const;

    QUrl m_url;
    QString m_method = QStringLiteral("GET");
    int m_timeoutInterval;
    int m_deadline = kDefaultDeadline;
    qint64 m_maxAnswerBytes;
    QList<QPair<QString, QString>> m_headers;
    QByteArray m_body;
    QString m_bodyFilePath;
};
