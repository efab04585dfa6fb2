#include "OVInFlightRequests.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

/** A loopback port that takes connections (the kernel completes them) and never answers. */
class SilentServer {
public:
    SilentServer()
        : m_fd(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(m_fd, 8);
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
    }
    ~SilentServer() { ::close(m_fd); }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/held").arg(m_port)); }

private:
    int m_fd;
    quint16 m_port = 0;
};

class tst_OVInFlightRequests : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void closeReturnsOnlyOnceTheExchangesUnderWayHaveEnded_data() {
        QTest::addColumn<int>("busyMs");
        QTest::newRow("waiting for the answer") << 0;
        // The quit comes while the thread is busy elsewhere: its abort runs only when it waits again,
        // and a close that returned before would let the application go first.
        QTest::newRow("busy when the quit comes") << 400;
    }

    void closeReturnsOnlyOnceTheExchangesUnderWayHaveEnded() {
        QFETCH(int, busyMs);
        SilentServer server;
        OVInFlightRequests inFlight;
        const auto makeAccess = inFlight.factory();
        std::promise<void> started;
        std::atomic<bool> ended{false};
        std::atomic<int> error{-1};
        std::thread worker([&] {
            QEventLoop loop;
            const std::unique_ptr<QNetworkAccessManager> access = makeAccess();
            QNetworkReply* reply = access->get(QNetworkRequest(server.url()));
            QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
            started.set_value();
            std::this_thread::sleep_for(std::chrono::milliseconds(busyMs));
            if (!reply->isFinished())
                loop.exec();
            error = reply->error();
            ended = true;
        });
        started.get_future().wait();
        const bool allEnded = inFlight.close();
        const bool endedAtClose = ended;
        worker.join();
        QVERIFY(allEnded);
        QVERIFY(endedAtClose);
        QCOMPARE(error.load(), int(QNetworkReply::OperationCanceledError));
        QVERIFY(!makeAccess());
    }

    void closeGivesUpOnAnExchangeThatNeverWaitsAgain() {
        SilentServer server;
        OVInFlightRequests inFlight;
        const auto makeAccess = inFlight.factory();
        std::promise<void> started;
        std::promise<void> release;
        std::thread worker([&] {
            QEventLoop loop;
            const std::unique_ptr<QNetworkAccessManager> access = makeAccess();
            access->get(QNetworkRequest(server.url()));
            started.set_value();
            release.get_future().wait();
        });
        started.get_future().wait();
        const bool allEnded = inFlight.close(200);
        release.set_value();
        worker.join();
        QVERIFY(!allEnded);
    }
};

QTEST_GUILESS_MAIN(tst_OVInFlightRequests)
#include "tst_OVInFlightRequests.moc"
