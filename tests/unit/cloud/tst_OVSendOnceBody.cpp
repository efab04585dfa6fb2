// A POST whose connection breaks after the server read it must fail, not be sent again: the server may
// already have created what it asked for. A loopback server counts the requests it reads whole.
#include "OVURLRequest.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <sys/socket.h>

namespace {

const QByteArray kBody = QByteArrayLiteral("{\"start\": 459866437632, \"user\": \"/api/user/102/\"}");

/** Reads each request whole, counts it, then answers 201 or resets the connection (TCP RST). */
class CountingServer : public QTcpServer {
public:
    explicit CountingServer(bool reset)
        : m_reset(reset) {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onData(socket); });
        });
    }
    int requests = 0;
    QByteArray lastBody;

private:
    void onData(QTcpSocket* socket) {
        QByteArray& buffer = m_buffers[socket];
        buffer += socket->readAll();
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        const qsizetype lengthAt = buffer.toLower().indexOf("content-length:");
        if (end < 0 || lengthAt < 0)
            return;
        const qsizetype length = buffer.mid(lengthAt + 15, buffer.indexOf("\r\n", lengthAt) - lengthAt - 15)
                                     .trimmed()
                                     .toLongLong();
        if (buffer.size() < end + 4 + length)
            return;
        ++requests;
        lastBody = buffer.mid(end + 4, length);
        buffer.clear();
        if (m_reset) {
            const linger abortive{1, 0};
            ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
            socket->abort();
        } else {
            socket->write(
                "HTTP/1.1 201 Created\r\nContent-Type: application/json\r\nContent-Length: 2\r\n\r\n{}");
        }
    }

    const bool m_reset;
    QHash<QTcpSocket*, QByteArray> m_buffers;
};

} // namespace

class tst_OVSendOnceBody : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void postIsSentAtMostOnce_data() {
        QTest::addColumn<bool>("reset");
        QTest::addColumn<int>("status");
        QTest::newRow("answered") << false << 201;
        QTest::newRow("connection reset once the request was read") << true << 0;
    }

    void postIsSentAtMostOnce() {
        QFETCH(bool, reset);
        QFETCH(int, status);
        CountingServer server(reset);
        QVERIFY(server.listen(QHostAddress::LocalHost));
        OVURLRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1/api/record/").arg(server.serverPort())),
                             10);
        request.setHTTPMethod(QStringLiteral("POST"));
        request.setValue(QStringLiteral("application/json"), QStringLiteral("Content-Type"));
        request.setHTTPBody(kBody);
        QNetworkAccessManager manager;
        QNetworkReply* reply = request.send(manager);
        QVERIFY(reply);
        QVERIFY(QTest::qWaitFor([reply] { return reply->isFinished(); }, 10000));
        // A repeat, had there been one, is sent at once on a new connection: give it time to arrive.
        QTest::qWait(300);
        QCOMPARE(server.requests, 1);
        QCOMPARE(server.lastBody, kBody);
        QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), status);
        QCOMPARE(reply->error() != QNetworkReply::NoError, reset);
        delete reply;
    }
};

QTEST_GUILESS_MAIN(tst_OVSendOnceBody)
#include "tst_OVSendOnceBody.moc"
