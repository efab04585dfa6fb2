#pragma once

#include "OVError.h"
#include "OVURLRequest.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>

#include <memory>

class QNetworkAccessManager;
class QNetworkReply;
class OVURLConnection;

/** What an upload connection reports, in this order: response, data, body progress, then one ending. */
class OVURLConnectionDelegate {
public:
    virtual ~OVURLConnectionDelegate() = default;
    virtual void connectionDidReceiveResponse(OVURLConnection* connection, qint64 statusCode) = 0;
    virtual void connectionDidReceiveData(OVURLConnection* connection, const QByteArray& data) = 0;
    virtual void connectionDidSendBodyData(OVURLConnection* connection, qint64 bytesWritten,
                                           qint64 totalBytesWritten, qint64 totalBytesExpectedToWrite) = 0;
    /** The server answered, whatever the status. */
    virtual void connectionDidFinishLoading(OVURLConnection* connection) = 0;
    /** No answer: the transport failed (domain "QNetworkReply", Qt's error code). */
    virtual void connectionDidFailWithError(OVURLConnection* connection, const OVError& error) = 0;
};

/**
 * One request sent from the main thread's event loop, its body streamed from its file, reporting to
 * a delegate there. Create, start and cancel it on the main thread; delete it there too (deleteLater
 * from elsewhere). After cancel() the delegate hears nothing more.
 */
class OVURLConnection : public QObject {
    Q_OBJECT
public:
    /** The delegate is not owned; it is told nothing once it has gone. */
    OVURLConnection(OVURLRequest request, std::weak_ptr<OVURLConnectionDelegate> delegate);
    ~OVURLConnection() override;

    void start();
    void cancel();

private:
    void onMetaDataChanged();
    void onReadyRead();
    void onUploadProgress(qint64 bytesSent, qint64 bytesTotal);
    void onFinished();
    std::shared_ptr<OVURLConnectionDelegate> delegate() const;

    const OVURLRequest m_request;
    const std::weak_ptr<OVURLConnectionDelegate> m_delegate;
    /** Owned; lives as long as the connection. */
    QNetworkAccessManager* m_manager = nullptr;
    QPointer<QNetworkReply> m_reply;
    qint64 m_bytesSent = 0;
    bool m_responseReported = false;
    bool m_cancelled = false;
};
