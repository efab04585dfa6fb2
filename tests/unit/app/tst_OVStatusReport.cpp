#include "OVStatusReport.h"

#include <QTest>

namespace {
std::shared_ptr<OVSession> session(double start, int status) {
    auto s = std::make_shared<OVSession>();
    s->setStart(OVDate::fromSecondsSince1970(start));
    s->setPageCount(30);
    s->setUserId(101);
    s->setSyncStatus(status);
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
        user.username = QStringLiteral("coach");
        const QJsonObject report = OVStatusReport::build(user, {b, a}, true, false);
        const QJsonValue newest = report[QStringLiteral("devices")][1][QStringLiteral("sessions")][0];
        QCOMPARE(newest[QStringLiteral("start")].toString(), QStringLiteral("2023-11-14T22:13:20.000Z"));
        QCOMPARE(OVStatusReport::toTable(report),
                 QStringLiteral("User: coach\n"
                                "Storing: yes   Syncing: no\n\n"
                                "OVR0000000000001  OV00001  not connected  battery N/A  firmware   "
                                "Fetch Failed (The device did not answer)\n\n"
                                "OVR0000000000002  OV00002  not connected  battery N/A  firmware   Idle\n"
                                "  2023-11-14 22:13:20        30 pages  user 101  Failed Syncing  "
                                "Failed Syncing. Please try again. Error details: x\n"
                                "  2020-09-13 12:26:40        30 pages  user 101  Synced\n"));
        QCOMPARE(OVStatusReport::toTable(OVStatusReport::build(std::nullopt, {}, false, false)),
                 QStringLiteral("User: (not signed in)\nStoring: no   Syncing: no\nNo devices.\n"));
    }

    // A cancelled upload can be asked again; a CRC failure says so; an unknown status says it is one.
    void syncStatusText() {
        QCOMPARE((QStringList{OVStatusReport::syncStatusText(OVSessionSyncStatusSyncCancelled, false),
                              OVStatusReport::syncStatusText(OVSessionSyncStatusStoringFailed, true),
                              OVStatusReport::syncStatusText(12, false)}),
                 (QStringList{QStringLiteral("Ready to Sync"), QStringLiteral("Corrupted"),
                              QStringLiteral("Unknown")}));
    }
};

QTEST_GUILESS_MAIN(tst_OVStatusReport)
#include "tst_OVStatusReport.moc"
