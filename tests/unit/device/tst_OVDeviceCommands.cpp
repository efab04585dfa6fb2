// The device commands against the emulator: session-list parsing, page sizes, erase's wait, and
// the clock set from a real HTTP server's "Date" header on loopback.
#include "DeviceRig.h"
#include "OVCaptureServer.h"
#include "ReportRecorder.h"

#include "OVCommandErase.h"
#include "OVCommandFactory.h"
#include "OVCommandGetPage.h"
#include "OVCommandGetSessionList.h"
#include "OVCommandSetClock.h"
#include "OVNetworkClock.h"
#include "OrvaneDate.h"

#include <QElapsedTimer>

namespace {
const QString kSerial = QStringLiteral("OVR0000000000271");
using SessionList = QList<std::shared_ptr<OVSession>>;

} // namespace

class tst_OVDeviceCommands : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sessionListSkipsEmptyAndUnusableRecords_data() {
        QTest::addColumn<QString>("deviceFirmware");
        QTest::addColumn<QString>("sessionFirmware");
        QTest::newRow("dotted device revision: the session's own bytes") << "1.2"
                                                                         << "4.5.6";
        QTest::newRow("plain device revision: the device's text") << "3"
                                                                  << "3";
    }
    void sessionListSkipsEmptyAndUnusableRecords() {
        QFETCH(QString, deviceFirmware);
        QFETCH(QString, sessionFirmware);
        const auto log = OVLogCapture::install();
        DeviceRig rig(false);
        SimPlugOptions options = DeviceRig::plugOptions(kSerial, 5, 4);
        options.firmware = QStringLiteral("4.5.6");
        // 1 corrupted but usable, 2 corrupted beyond use, 3 empty, 4 empty and corrupted but usable.
        options.corrupted = {{1, 3}, {2, 0}, {4, 5}};
        options.empty = {3, 4};
        rig.hub().plug(options);
        rig.hub().editDevice(kSerial, [&](SimVirtualDevice& d) { d.fwRevision = deviceFirmware; });
        rig.hub().replug(kSerial);
        const auto device = rig.waitForCdc(kSerial);
        QVERIFY(device);
        QTRY_COMPARE(device->deviceInformations().fwRevision, deviceFirmware);

        const auto recorder =
            executeRecorded(OVCommandFactory().createGetSessionListCommand(
                                dateWithOrvaneTime(1), OVDate::fromSecondsSince1970(4102444800.0)),
                            device);
        QTRY_COMPARE(recorder->statuses(), QList<int>{0});
        const SessionList sessions = std::any_cast<SessionList>(recorder->reports().first().result);
        QCOMPARE(sessions.size(), 2);
        const SimVirtualDevice held = *rig.hub().device(kSerial);
        for (int i = 0; i < 2; ++i) {
            const OVSession& s = *sessions[i];
            const SimVirtualSession& v = held.sessions[i];
            QVERIFY(s.ovSession());
            QVariantList read, expected;
            read << s.start().secondsSince1970() << s.end().secondsSince1970() << s.startPage() << s.endPage()
                 << s.pageCount() << s.userId() << s.applicationId() << s.deviceSerial() << s.data()
                 << s.softwareProtocol() << s.softwareUid() << s.deviceUid().size() << s.firmwareRev()
                 << s.ovSession()->dataCRC << s.corrupted();
            expected << dateWithOrvaneTime(v.start).secondsSince1970()
                     << dateWithOrvaneTime(v.end).secondsSince1970() << quint64(v.startPage)
                     << quint64(v.startPage + 3) << quint64(4) << quint64(i == 0 ? 101 : 102)
                     << QStringLiteral("com.orvane.recorder") << kSerial << v.structure << quint64(3)
                     << QStringLiteral("OVR-040506") << 32 << sessionFirmware << v.crc << (i == 1);
            QCOMPARE(read, expected);
        }
        QCOMPARE(log->count(QStringLiteral("^Session is corrupted : ")), 3);
        QCOMPARE(log->count(QStringLiteral("^Session is empty : ")), 2);
        QVERIFY(log->has(QStringLiteral("----------SESSION LIST (%1)----------").arg(kSerial)));
        QVERIFY(log->has(QStringLiteral("------------------------------------")));
        QCOMPARE(
            log->count(QStringLiteral("^Fetching session list from 1970-01-01 00:00:00 \\+0000 \\(1\\) to "
                                      "2100-01-01 00:00:00 \\+0000 \\(1050225868800\\) for device : ") +
                       kSerial + QLatin1Char('$')),
            1);
    }

    void pagesOfAnySizeAreReported_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("logged");
        QTest::newRow("no bytes") << 0 << true;
        QTest::newRow("513 bytes") << 513 << true;
        QTest::newRow("a normal page") << 512 << false;
        QTest::newRow("short page") << 100 << false;
    }
    void pagesOfAnySizeAreReported() {
        QFETCH(int, size);
        QFETCH(bool, logged);
        const auto log = OVLogCapture::install();
        DeviceRig rig(false);
        const auto device = rig.plug(kSerial, 1, 4);
        QVERIFY(device);
        const quint32 page = SimVirtualDevice::kFirstSessionPage + 2;
        SimFault resize{SimFault::Kind::ResizePage, page, -1, std::nullopt};
        resize.size = quint32(size);
        rig.hub().addFault(kSerial, resize);
        const auto recorder = executeRecorded(OVCommandFactory().createGetPageCommand(page), device);
        QTRY_COMPARE(recorder->statuses(), QList<int>{0});
        QCOMPARE(std::any_cast<QByteArray>(recorder->reports().first().result).size(), size);
        QCOMPARE(
            log->has(QStringLiteral("Asked for page %1 and the size of the page is %2").arg(page).arg(size)),
            logged);
    }

    void eraseWaitsTwoSecondsBeforeItsReport() {
        const auto log = OVLogCapture::install();
        DeviceRig rig(false);
        const auto device = rig.plug(kSerial, 3);
        QVERIFY(device);
        QElapsedTimer timer;
        timer.start();
        const auto recorder = executeRecorded(std::make_shared<OVCommandErase>(), device);
        QTRY_COMPARE_WITH_TIMEOUT(recorder->statuses(), QList<int>{0}, 6000);
        QVERIFY(timer.elapsed() >= 2000);
        QVERIFY(rig.hub().device(kSerial)->sessions.isEmpty());
        QCOMPARE(
            log->count(QStringLiteral("^<OVCommandErase: 0x[0-9a-f]+> command sent for device : ") + kSerial),
            1);
    }

    void clockComesFromTheNetworkDateOnly_data() {
        QTest::addColumn<QString>("date");      // null: no "Date" header
        QTest::addColumn<QStringList>("lines"); // none names "Set Clock": the clock is not set
        const QString noDate = QStringLiteral("Unable to get network date, will not set clock on device");
        QTest::newRow("date header")
            << "Sun, 06 Nov 1994 08:49:37 GMT"
            << QStringList{QStringLiteral("Clock value returned by URL : Sun, 06 Nov 1994 08:49:37 GMT (%1)"),
                           QStringLiteral("Epoch Clock value returned by URL : 784111777.000000 (%1)"),
                           QStringLiteral("Set Clock on device ") + kSerial};
        QTest::newRow("date that does not parse")
            << "the sixth of November"
            << QStringList{QStringLiteral("Clock value returned by URL : the sixth of November (%1)"),
                           noDate};
        QTest::newRow("no date header")
            << QString() << QStringList{QStringLiteral("NO Clock value returned by URL %1"), noDate};
    }
    void clockComesFromTheNetworkDateOnly() {
        QFETCH(QString, date);
        QFETCH(QStringList, lines);
        const bool set = lines.last().startsWith(QLatin1String("Set Clock"));
        const auto log = OVLogCapture::install();
        DeviceRig rig(false);
        const auto device = rig.plug(kSerial);
        QVERIFY(device);
        const QJsonObject answer{
            {QStringLiteral("headers"),
             date.isNull() ? QJsonObject() : QJsonObject{{QStringLiteral("Date"), date}}}};
        OVCaptureServer server(
            QJsonObject{{QStringLiteral("scenarios"),
                         QJsonObject{{QStringLiteral("clock"), QJsonObject{{QStringLiteral("*"), answer}}}}}},
            QString());
        QVERIFY(server.start());
        const QString url = server.url(QStringLiteral("/clock/"));
        qputenv("OV_NETWORK_TIME_URL", url.toUtf8());
        const auto recorder = executeRecorded(
            std::make_shared<OVCommandSetClock>(&OVNetworkClock::getNetworkDateAsync), device);
        QTRY_COMPARE_WITH_TIMEOUT(recorder->statuses(), QList<int>{set ? 0 : 2}, 10000);
        qunsetenv("OV_NETWORK_TIME_URL");
        for (const QString& line : lines)
            QVERIFY2(log->has(line.arg(url)), qPrintable(log->lines().join(QLatin1Char('\n'))));
        // The date is asked with a request without body.
        QCOMPARE(server.takeRequests(1).value(0).method, QStringLiteral("HEAD"));
        if (set) {
            const double clock = dateWithOrvaneTime(rig.hub().device(kSerial)->clock()).secondsSince1970();
            QVERIFY2(clock >= 784111777.0 && clock < 784111787.0, qPrintable(QString::number(clock, 'f')));
        } else {
            QCOMPARE(rig.hub().device(kSerial)->clockOffset, qint64(0)); // nothing was sent to the device
            QCOMPARE(log->count(QStringLiteral("^Set Clock on device")), 0);
        }
    }
};

QTEST_GUILESS_MAIN(tst_OVDeviceCommands)
#include "tst_OVDeviceCommands.moc"
