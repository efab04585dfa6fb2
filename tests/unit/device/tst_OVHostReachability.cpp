// The host probe: reachable while a TCP connection to the host succeeds, with one change
// notification per change, and the port taken from the server URL.
#include "OVHostReachability.h"
#include "OVNotificationCenter.h"

#include <QTcpServer>
#include <QTest>

#include <atomic>

class tst_OVHostReachability : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void portFromURL_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::newRow("explicit port") << "http://127.0.0.1:8000/api/"
                                       << "127.0.0.1" << 8000;
        QTest::newRow("http default") << "http://localhost/api/"
                                      << "localhost" << 80;
        QTest::newRow("https default") << "https://localhost/api/"
                                       << "localhost" << 443;
    }

    void portFromURL() {
        QFETCH(QString, url);
        QFETCH(QString, host);
        QFETCH(int, port);
        const auto probe = OVHostReachability::reachabilityWithURL(url);
        QCOMPARE(probe->host(), host);
        QCOMPARE(int(probe->port()), port);
    }

    void followsTheHost() {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        const quint16 port = server.serverPort();
        const auto probe = std::make_shared<OVHostReachability>(QStringLiteral("127.0.0.1"), port);
        probe->setInterval(std::chrono::milliseconds(50));
        std::atomic<int> changes{0};
        OVNotificationCenter::defaultCenter().addObserver(
            this, OVNotificationName::kNetworkReachabilityChangedNotification,
            [&](const OVNotification& notification) {
                if (notification.objectAs<OVReachability>() == probe)
                    ++changes;
            });

        QVERIFY(!probe->isReachable());
        QVERIFY(probe->startNotifier());
        QTRY_VERIFY(probe->isReachable());
        QTest::qWait(200); // further successful tries change nothing
        QCOMPARE(changes.load(), 1);

        server.close();
        QTRY_VERIFY(!probe->isReachable());
        QCOMPARE(changes.load(), 2);

        QVERIFY(server.listen(QHostAddress::LocalHost, port));
        QTRY_VERIFY(probe->isReachable());
        QCOMPARE(changes.load(), 3);

        probe->stopNotifier();
        OVNotificationCenter::defaultCenter().removeObserver(this);
    }
};

QTEST_GUILESS_MAIN(tst_OVHostReachability)
#include "tst_OVHostReachability.moc"
