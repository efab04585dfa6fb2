#include "OVStatusReport.h"

#include <QJsonArray>
#include <QTest>

namespace {
std::shared_ptr<OVSession> session(double start, int status, bool crcCorruption = false) {
    auto s = std::make_shared<OVSession>();
    s->setStart(OVDate::fromSecondsSince1970(start));
    s->setEnd(OVDate::fromSecondsSince1970(start + 60));
    s->setPageCount(30);
    s->setUserId(101);
    s->setSyncStatus(status);
    s->setCrcCorruption(crcCorruption);
    return s;
}

std::shared_ptr<OVDeviceInfo> device(const QString& serial, const OVSessionList& sessions) {
    auto d = std::make_shared<OVDeviceInfo>();
    d->setSerial(serial);
    d->setName(OVDeviceInfo::nameForSerial(serial));
    d->setSessions(sessions);
    return d;
}
} // namespace

class tst_OVStatusReport : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void listsDevicesBySerialAndSessionsNewestFirst() {
        auto failed = session(1'700'000'000, OVSessionSyncStatusSyncFailed);
        failed->setSyncErrorInformation(QStringLiteral("Failed Syncing. Please try again. Error details: x"));
        const auto b = device(QStringLiteral("OVR0000000000002"),
                              {session(1'600'000'000, OVSessionSyncStatusSynced), failed});
        const auto a = device(QStringLiteral("OVR0000000000001"), {});
        a->setFetchStatus(OVDeviceFetchStatusFetchFailed);
        a->setFetchErrorInformation(QStringLiteral("The device did not answer"));

        OVUser user;
        user.identifier = 7;
        user.username = QStringLiteral("coach");
        const QJsonObject report = OVStatusReport::build(user, {b, a}, true, false);

        const QJsonArray devices = report.value(QStringLiteral("devices")).toArray();
        QCOMPARE(devices.size(), 2);
        QCOMPARE(devices[0].toObject().value(QStringLiteral("serial")).toString(), a->serial());
        QCOMPARE(devices[0].toObject().value(QStringLiteral("fetchStatusText")).toString(),
                 QStringLiteral("Fetch Failed"));
        const QJsonArray sessions = devices[1].toObject().value(QStringLiteral("sessions")).toArray();
        QCOMPARE(sessions.size(), 2);
        QCOMPARE(sessions[0].toObject().value(QStringLiteral("start")).toString(),
                 QStringLiteral("2023-11-14T22:13:20.000Z"));
        QCOMPARE(sessions[0].toObject().value(QStringLiteral("error")).toString(),
                 failed->syncErrorInformation());

        const QString table = OVStatusReport::toTable(report);
        QVERIFY(table.contains(QStringLiteral("User: coach")));
        QVERIFY(table.indexOf(a->serial()) < table.indexOf(b->serial()));
        QVERIFY(table.contains(QStringLiteral("(The device did not answer)")));
        QVERIFY(table.contains(QStringLiteral("not connected  battery N/A")));
        QVERIFY(table.contains(failed->syncErrorInformation()));
    }

    void noUserIsNull() {
        const QJsonObject report = OVStatusReport::build(std::nullopt, {}, false, false);
        QVERIFY(report.value(QStringLiteral("user")).isNull());
        QVERIFY(OVStatusReport::toTable(report).contains(QStringLiteral("(not signed in)")));
    }

    void syncStatusText_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("crcCorruption");
        QTest::addColumn<QString>("text");
        QTest::newRow("upload cancelled") << 6 << false << "Ready to Sync";
        QTest::newRow("failed its CRC") << 7 << true << "Corrupted";
        QTest::newRow("out of range") << 12 << false << "Unknown";
    }
    void syncStatusText() {
        QFETCH(int, status);
        QFETCH(bool, crcCorruption);
        QFETCH(QString, text);
        QCOMPARE(OVStatusReport::syncStatusText(status, crcCorruption), text);
    }
};

QTEST_GUILESS_MAIN(tst_OVStatusReport)
#include "tst_OVStatusReport.moc"
