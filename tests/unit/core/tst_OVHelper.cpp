#include "OVHelper.h"
#include "OVLogger.h"
#include "OVTestCapture.h"

#include <QDeadlineTimer>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>

namespace {

struct Dated {
    OVDate value;
    QString name;
    OVDate start() const { return value; }
    QString serial() const { return name; }
};

/** Answers every HTTP request on loopback with one fixed raw response. */
class FixedHttpServer : public QObject {
public:
    explicit FixedHttpServer(QByteArray response)
        : m_response(std::move(response)) {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* socket = m_server.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                m_request += socket->readAll();
                if (m_request.contains("\r\n\r\n")) {
                    socket->write(m_response);
                    socket->disconnectFromHost();
                }
            });
        });
    }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1/").arg(m_server.serverPort()); }
    QByteArray request() const { return m_request; }

private:
    QTcpServer m_server;
    QByteArray m_response;
    QByteArray m_request;
};

std::optional<OVDate> networkDateFrom(const QString& url) {
    qputenv("OV_NETWORK_TIME_URL", url.toUtf8());
    // The answer arrives on a background thread; the server above lives on this one.
    std::optional<OVDate> result;
    std::atomic<bool> done{false};
    OVHelper::getNetworkDateAsync([&](std::optional<OVDate> date) {
        result = date;
        done.store(true);
    });
    QDeadlineTimer deadline(10000);
    while (!done.load() && !deadline.hasExpired())
        QTest::qWait(5);
    return done.load() ? result : std::nullopt;
}

} // namespace

class tst_OVHelper : public QObject {
    Q_OBJECT

    std::shared_ptr<OVLogCapture> m_log;

private Q_SLOTS:
    void initTestCase() { m_log = OVLogCapture::install(); }

    void durations_data() {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << "00:00:00";
        QTest::newRow("fraction is dropped") << 59.999 << "00:00:59";
        QTest::newRow("one hour") << 3600.0 << "01:00:00";
        QTest::newRow("hours beyond a day") << 90061.0 << "25:01:01";
        QTest::newRow("hundreds of hours") << 360000.0 << "100:00:00";
        QTest::newRow("negative counts as zero") << -5.0 << "00:00:00";
    }

    void durations() {
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QCOMPARE(OVHelper::formattedStringForDuration(seconds), text);
    }

    void resourceUris() {
        QCOMPARE(OVHelper::getDeviceURIFromSerial(QStringLiteral("OVR000000000042")),
                 QStringLiteral("/api/device/OVR000000000042/"));
        QCOMPARE(OVHelper::getUserURIFromId(12), QStringLiteral("/api/user/12/"));
    }

    void orvatimestampsAreExactSixteenthsOfSixteenths() {
        const OVDate date = OVDate::fromSecondsSince1970(1462442400.00390625);
        QCOMPARE(OVHelper::convertDateToOrvatimestamp(date), 374385254401.0);
        QCOMPARE(OVHelper::convertOrvatimestampToDate(374385254401.0), date);
        QCOMPARE(OVHelper::convertOrvatimestampToDate(2560).secondsSince1970(), 10.0);
    }

    void osVersionTest_data() {
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<bool>("atLeast1011");
        QTest::newRow("linux") << 0 << 0 << false;
        QTest::newRow("10.10") << 10 << 10 << false;
        QTest::newRow("10.11") << 10 << 11 << true;
        QTest::newRow("11.0") << 11 << 0 << true;
    }

    void osVersionTest() {
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(bool, atLeast1011);
        OVHelper::setPretendedOSXVersion(major, minor);
        QCOMPARE(OVHelper::isOSXGreatherThan1011(), atLeast1011);
        OVHelper::setPretendedOSXVersion(0, 0);
        QVERIFY(!OVHelper::isOSXGreatherThan1011());
    }

    void sortsInPlace() {
        auto make = [](double t, const char* serial) {
            return std::make_shared<Dated>(
                Dated{OVDate::fromSecondsSince1970(t), QString::fromLatin1(serial)});
        };
        QList<std::shared_ptr<Dated>> list{make(2, "OVR2"), make(3, "OVR10"), make(1, "OVR1")};
        OVHelper::sortSessionsDesc(list);
        QCOMPARE(list.at(0)->start().secondsSince1970(), 3.0);
        QCOMPARE(list.at(2)->start().secondsSince1970(), 1.0);
        OVHelper::sortDevicesAsc(list);
        // Text order, not numeric: "OVR10" comes before "OVR2".
        QCOMPARE(list.at(0)->serial(), QStringLiteral("OVR1"));
        QCOMPARE(list.at(1)->serial(), QStringLiteral("OVR10"));
    }

    void httpDates_data() {
        QTest::addColumn<QString>("header");
        QTest::addColumn<double>("seconds");
        QTest::newRow("standard GMT") << "Sun, 06 Nov 1994 08:49:37 GMT" << 784111777.0;
        QTest::newRow("numeric offset") << "Sun, 06 Nov 1994 09:49:37 +0100" << 784111777.0;
        QTest::newRow("spaces around") << "  Sat, 05 Dec 2026 18:00:00 GMT " << 1796493600.0;
        QTest::newRow("unknown zone name") << "Sun, 06 Nov 1994 08:49:37 PST" << -1.0;
        QTest::newRow("no weekday") << "06 Nov 1994 08:49:37 GMT" << -1.0;
        QTest::newRow("garbage") << "tomorrow" << -1.0;
        QTest::newRow("empty") << "" << -1.0;
    }

    void httpDates() {
        QFETCH(QString, header);
        QFETCH(double, seconds);
        const auto parsed = OVHelper::parseHttpDate(header);
        QCOMPARE(parsed ? parsed->secondsSince1970() : -1.0, seconds);
    }

    void networkDateFromADateHeader() {
        FixedHttpServer server(
            "HTTP/1.1 200 OK\r\nDate: Sun, 06 Nov 1994 08:49:37 GMT\r\nContent-Length: 0\r\n\r\n");
        const auto date = networkDateFrom(server.url());
        QVERIFY(date.has_value());
        QCOMPARE(date->secondsSince1970(), 784111777.0);
        QVERIFY(server.request().startsWith("HEAD / HTTP/1.1"));
        QVERIFY(m_log->lines().contains(
            QStringLiteral("Clock value returned by URL : Sun, 06 Nov 1994 08:49:37 GMT (%1)")
                .arg(server.url())));
        QVERIFY(m_log->lines().contains(
            QStringLiteral("Epoch Clock value returned by URL : 784111777.000000 (%1)").arg(server.url())));
    }

    void networkDateFailures_data() {
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<QString>("logLine");
        QTest::newRow("no Date header") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n")
                                        << "NO Clock value returned by URL %1";
        QTest::newRow("unparsable Date header")
            << QByteArray("HTTP/1.1 200 OK\r\nDate: soon\r\nContent-Length: 0\r\n\r\n")
            << "Clock value returned by URL : soon (%1)";
        QTest::newRow("nobody listening") << QByteArray() << "Unable to get network date from url: %1";
    }

    void networkDateFailures() {
        QFETCH(QByteArray, response);
        QFETCH(QString, logLine);
        QString url;
        std::unique_ptr<FixedHttpServer> server;
        if (response.isEmpty()) {
            QTcpServer probe;
            probe.listen(QHostAddress::LocalHost);
            url = QStringLiteral("http://127.0.0.1:%1/").arg(probe.serverPort());
        } else {
            server = std::make_unique<FixedHttpServer>(response);
            url = server->url();
        }
        QVERIFY(!networkDateFrom(url).has_value());
        QVERIFY2(m_log->lines().contains(logLine.arg(url)),
                 qPrintable(m_log->lines().join(QLatin1Char('\n'))));
    }
};

QTEST_GUILESS_MAIN(tst_OVHelper)
#include "tst_OVHelper.moc"
