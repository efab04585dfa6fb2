#include "OVCredentialManagerProtocol.h"
#include "OVPreferencesManager.h"
#include "OVService.h"
#include "SUUpdater.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <memory>
#include <thread>

namespace {

class Credentials : public OVCredentialManagerProtocol {
public:
    explicit Credentials(bool signedIn)
        : m_signedIn(signedIn) {}
    std::optional<QString> getUsername() override { return text("ada"); }
    std::optional<QString> getPassword() override { return text("pw"); }
    bool isUserSignedIn() override { return m_signedIn; }
    void saveCredential(const OVUser&, const QString&) override {}
    void deleteCredential() override {}
    std::optional<OVUser> currentUser() override { return std::nullopt; }
    void setCurrentUser(const std::optional<OVUser>&) override {}

private:
    std::optional<QString> text(const char* value) const {
        return m_signedIn ? std::optional<QString>(QString::fromLatin1(value)) : std::nullopt;
    }
    const bool m_signedIn;
};

/** A web client with no network clock (signed with the local clock), signed in or not. */
struct Client {
    explicit Client(bool signedIn)
        : credentials(signedIn) {
        service.setNetworkClock([] { return std::nullopt; });
    }
    Credentials credentials;
    SUUpdater updater;
    OVPreferencesManager preferences{OVLoginItem(QString(), QString()), &updater};
    OVService service{&credentials, &preferences};
};

constexpr qint64 kFloodBytes = 16 * 1024 * 1024;

/**
 * Hostile answers on a loopback port, chosen by the request's path: "drip" (a byte every 300 ms),
 * "flood" (16 MiB with no length), "announced" (a length of 300 MiB, then 16 MiB), "closed" (no answer).
 * Each ends by itself within 10 s, so a client without limits gets some other ending, not a hang.
 */
class HostileServer : public QTcpServer {
public:
    HostileServer() {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                ++connections;
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { answer(socket); });
            }
        });
        listen(QHostAddress::LocalHost);
    }
    int connections = 0;

private:
    void answer(QTcpSocket* socket) {
        const QByteArray head = socket->readAll();
        socket->disconnect(this);
        const QByteArray path = head.split(' ').value(1);
        if (path.startsWith("/closed")) {
            socket->close();
        } else if (path.startsWith("/drip")) {
            socket->write("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n");
            auto* timer = new QTimer(socket);
            connect(timer, &QTimer::timeout, socket, [socket, sent = 0]() mutable {
                socket->write("x");
                if (++sent == 33)
                    socket->close();
            });
            timer->start(300);
        } else {
            socket->write(path.startsWith("/announced")
                              ? "HTTP/1.1 200 OK\r\nContent-Length: 314572800\r\n\r\n"
                              : "HTTP/1.0 200 OK\r\n\r\n");
            flood(socket, kFloodBytes);
        }
    }

    static void flood(QTcpSocket* socket, qint64 left) {
        const QByteArray block(64 * 1024, 'x');
        QPointer<QTcpSocket> guard(socket);
        // Shared by the connection's copy of the lambda: freed with the socket, however the flood ends.
        auto sent = std::make_shared<qint64>(0);
        auto more = [guard, block, left, sent] {
            if (!guard)
                return;
            while (*sent < left && guard->bytesToWrite() < 4 * block.size())
                *sent += guard->write(block);
            if (*sent >= left && guard->bytesToWrite() == 0)
                guard->close();
        };
        connect(socket, &QTcpSocket::bytesWritten, socket, more);
        more();
    }
};

} // namespace

/** What the web client does with answers that never end, never stop, or never come. */
class tst_OVServiceLimits : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void hostileAnswersEndWithAClearError_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("description");
        // Uploads and look-ups wait for their answers on threads that Qt did not start; a thread's first
        // request there once started its timers before the thread had an event dispatcher, and they never
        // ran.
        QTest::addColumn<bool>("onThreadOutsideQt");
        QTest::newRow("drip") << "drip" << 4 << "No complete answer within 2 s" << false;
        QTest::newRow("drip, on a thread outside Qt")
            << "drip" << 4 << "No complete answer within 2 s" << true;
        QTest::newRow("flood") << "flood" << 299 << "The answer is larger than 4194304 bytes" << false;
        QTest::newRow("flood, length announced")
            << "announced" << 299 << "The answer is larger than 4194304 bytes" << false;
        // Qt's code 2 is "remote host closed": a transport error, never the web API's "Unauthorized".
        QTest::newRow("closed unanswered") << "closed" << 2 << "" << false;
    }
    void hostileAnswersEndWithAClearError() {
        QFETCH(QString, path);
        HostileServer server;
        Client client(true);
        OVService& service = client.service;
        OVURLRequest request(
            QUrl(QStringLiteral("http://127.0.0.1:%1/%2/").arg(server.serverPort()).arg(path)), 1);
        service.setBasicAuthForRequest(request);
        request.setDeadline(2);
        QElapsedTimer clock;
        clock.start();
        OVError error;
        QFETCH(bool, onThreadOutsideQt);
        if (onThreadOutsideQt) {
            std::atomic<bool> done{false};
            bool answered = false;
            std::thread waiting([&] {
                answered = service.sendSync(request, &error).has_value();
                done = true;
            });
            // The server answers from this thread's event loop; it closes every answer within 10 s.
            const bool ended = QTest::qWaitFor([&] { return done.load(); }, 15000);
            waiting.join();
            QVERIFY(ended);
            QVERIFY(!answered);
        } else {
            QVERIFY(!service.sendSync(request, &error));
        }
        QCOMPARE(error.domain(), OVService::kTransportErrorDomain);
        QTEST(error.code(), "code");
        QFETCH(QString, description);
        if (!description.isEmpty())
            QCOMPARE(error.description(), description);
        QVERIFY(!error.isUnauthorized());
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    }

    // A request built just after a sign-out would only be refused, and the server counts each refusal
    // against this address until it refuses the next sign-in too.
    void nothingIsSentWhileNobodyIsSignedIn() {
        HostileServer server;
        Client client(false);
        OVService& service = client.service;
        OVURLRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1/flood/").arg(server.serverPort())), 1);
        service.setBasicAuthForRequest(request);
        OVError error;
        QVERIFY(!service.sendSync(request, &error));
        QVERIFY(error.isUnauthorized());

        OVRecord record;
        record.resource_uri = QStringLiteral("/api/record/471/");
        QVERIFY(
            !service.createUploadRecordRequest(record, QStringLiteral("/tmp/part_1_0_9.dat"), 10, &error));
        QVERIFY(error.isUnauthorized());
        QTest::qWait(50);
        QCOMPARE(server.connections, 0);
    }
};

QTEST_GUILESS_MAIN(tst_OVServiceLimits)
#include "tst_OVServiceLimits.moc"
