// What a device row and a session row show: battery, connection, sync badge and count, the
// session's status texts and colours, the detail's battery bar.
#include "OVBatteryGauge.h"
#include "OVDeviceInfo.h"
#include "OVOrvaneCellModel.h"
#include "OVSession.h"
#include "OVSessionRowAppearance.h"
#include "OVUser.h"

#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(OVDeviceViewColor)
Q_DECLARE_METATYPE(OVOrvaneCellState)

namespace {

QList<std::shared_ptr<OVSession>> sessionsWithStatuses(const QList<int>& statuses) {
    QList<std::shared_ptr<OVSession>> sessions;
    for (int status : statuses) {
        auto session = std::make_shared<OVSession>();
        session->setSyncStatus(status);
        sessions << session;
    }
    return sessions;
}

} // namespace

class tst_OVDeviceRows : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void battery_data() {
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("icon");
        QTest::addColumn<QString>("percent");
        QTest::addColumn<int>("barWidth");
        QTest::addColumn<OVDeviceViewColor>("barColor");
        using C = OVDeviceViewColor;
        QTest::newRow("full") << 100 << u"Charged"_s << u"battery_charged"_s << u"100%"_s << 21
                              << C::GoodBattery;
        QTest::newRow("99") << 99 << u"Charging"_s << u"battery_charging"_s << u"99%"_s << 20
                            << C::GoodBattery;
        QTest::newRow("16 is still good")
            << 16 << u"Charging"_s << u"battery_charging"_s << u"16%"_s << 3 << C::GoodBattery;
        QTest::newRow("15 is low") << 15 << u"Charging"_s << u"battery_charging"_s << u"15%"_s << 3
                                   << C::LowBattery;
        QTest::newRow("empty") << 0 << u"Charging"_s << u"battery_charging"_s << u"0%"_s << 0
                               << C::LowBattery;
        QTest::newRow("unknown") << -1 << u"N/A"_s << u"battery_na"_s << u"N/A"_s << 0 << C::LowBattery;
    }
    void battery() {
        QFETCH(int, level);
        QFETCH(QString, text);
        QFETCH(QString, icon);
        QFETCH(QString, percent);
        QFETCH(int, barWidth);
        QFETCH(OVDeviceViewColor, barColor);
        QCOMPARE(OVOrvaneCellModel::batteryText(level), text);
        QCOMPARE(OVOrvaneCellModel::batteryIcon(level), icon);
        QCOMPARE(OVBatteryGauge::levelText(level), percent);
        QCOMPARE(OVBatteryGauge::barWidth(level), barWidth);
        QCOMPARE(OVBatteryGauge::barColor(level), barColor);
    }

    void connection_data() {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<bool>("recovery");
        QTest::addColumn<QString>("text");
        QTest::addColumn<OVDeviceViewColor>("color");
        QTest::newRow("connected") << true << false << u"Connected"_s << OVDeviceViewColor::Connected;
        QTest::newRow("unplugged") << false << false << u"Disconnected"_s << OVDeviceViewColor::Disconnected;
        QTest::newRow("recovery mode") << false << true << u"Recovering"_s << OVDeviceViewColor::Disconnected;
    }
    void connection() {
        QFETCH(bool, connected);
        QFETCH(bool, recovery);
        QFETCH(QString, text);
        QFETCH(OVDeviceViewColor, color);
        OVDeviceInfo device;
        device.setIsConnected(connected);
        device.setIsInRecovery(recovery);
        QCOMPARE(OVOrvaneCellModel::connectionText(device), text);
        QCOMPARE(OVOrvaneCellModel::connectionColor(device), color);
        QCOMPARE(OVOrvaneCellModel::canIdentify(device), connected);
    }

    void syncBadge_data() {
        QTest::addColumn<QList<int>>("statuses");
        QTest::addColumn<bool>("storing");
        QTest::addColumn<bool>("syncing");
        QTest::addColumn<QString>("count");
        QTest::addColumn<OVOrvaneCellState>("state");
        QTest::addColumn<QString>("image");
        QTest::addColumn<OVDeviceViewColor>("badge");
        using S = OVOrvaneCellState;
        using C = OVDeviceViewColor;
        QTest::newRow("no sessions") << QList<int>{} << true << true << u"0/0"_s << S::NoSessions << u""_s
                                     << C::Clear;
        QTest::newRow("2 of 3, idle")
            << QList<int>{4, 4, 1} << false << false << u"2/3"_s << S::NotSynching << u""_s << C::Clear;
        QTest::newRow("3 of 3") << QList<int>{4, 4, 4} << false << false << u"3/3"_s << S::Complete
                                << u"sync_done"_s << C::Connected;
        QTest::newRow("storing wins")
            << QList<int>{4, 8} << true << true << u"1/2"_s << S::Storing << u"storing"_s << C::Brand;
        QTest::newRow("syncing beats complete") << QList<int>{4} << false << true << u"1/1"_s << S::InProgress
                                                << u"sync_inprogress"_s << C::Brand;
    }
    void syncBadge() {
        QFETCH(QList<int>, statuses);
        QFETCH(bool, storing);
        QFETCH(bool, syncing);
        QFETCH(QString, count);
        QFETCH(OVOrvaneCellState, state);
        QFETCH(QString, image);
        QFETCH(OVDeviceViewColor, badge);
        const auto sessions = sessionsWithStatuses(statuses);
        QCOMPARE(OVOrvaneCellModel::syncCountText(sessions), count);
        QCOMPARE(OVOrvaneCellModel::syncState(sessions, storing, syncing), state);
        QCOMPARE(OVOrvaneCellModel::syncImage(state), image);
        QCOMPARE(OVOrvaneCellModel::badgeColor(state), badge);
    }

    void texts() {
        QCOMPARE(OVOrvaneCellModel::recoveryText(0.42), QStringLiteral("Recovering 42%"));
        QCOMPARE(OVOrvaneCellModel::recoveryText(1.0), QStringLiteral("Recovering 100%"));
        OVUser user;
        user.firstName = QStringLiteral("Ada");
        user.lastName = QStringLiteral("Byron");
        QCOMPARE(OVOrvaneCellModel::userText(user), QStringLiteral("Ada Byron"));
        QCOMPARE(OVOrvaneCellModel::userText(std::nullopt), QStringLiteral("Unknown"));
        OVSession session;
        session.setStart(OVDate::fromSecondsSince1970(1000));
        session.setEnd(OVDate::fromSecondsSince1970(1000 + 25 * 3600 + 61.9));
        QCOMPARE(OVSessionRowAppearance::durationText(session), QStringLiteral("25:01:01"));
    }

    void sessionStatus_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("crc");
        QTest::addColumn<QString>("text");
        QTest::addColumn<OVDeviceViewColor>("background");
        QTest::addColumn<bool>("error");
        QTest::addColumn<QString>("toolTip"); // "-" leaves the tool tip as it was
        using C = OVDeviceViewColor;
        const QString keep = QStringLiteral("-");
        QTest::newRow("0") << 0 << false << u"Status N/A"_s << C::SessionGray << false << u""_s;
        for (int ready : {1, 6, 9})
            QTest::addRow("%d ready", ready)
                << ready << false << u"Ready to Sync"_s << C::SessionGray << false << u""_s;
        QTest::newRow("2 started") << 2 << false << u"Syncing \t\t0%"_s << C::Brand << false << keep;
        QTest::newRow("3 syncing") << 3 << false << u"Syncing \t\t45%"_s << C::Brand << false << keep;
        QTest::newRow("4") << 4 << false << u"Synced"_s << C::Connected << false << keep;
        QTest::newRow("5") << 5 << false << u"Failed Syncing"_s << C::SyncFailed << true
                           << u"server said no"_s;
        const QString corrupted = QStringLiteral("Sorry the session is corrupted and cannot by synced.");
        QTest::newRow("7 crc") << 7 << true << u"Corrupted"_s << C::SyncFailed << true << corrupted;
        QTest::newRow("10 crc") << 10 << true << u"Corrupted"_s << C::SyncFailed << true << corrupted;
        QTest::newRow("7") << 7 << false << u"Waiting for Storing"_s << C::SessionGray << false << keep;
        QTest::newRow("8") << 8 << false << u"Storing Locally 45%"_s << C::Brand << false << keep;
        QTest::newRow("11") << 11 << true << u"CRC Checking 45%"_s << C::Brand << false << keep;
    }
    void sessionStatus() {
        QFETCH(int, status);
        QFETCH(bool, crc);
        QFETCH(QString, text);
        QFETCH(OVDeviceViewColor, background);
        QFETCH(bool, error);
        QFETCH(QString, toolTip);
        OVSession session;
        session.setSyncStatus(status);
        session.setCrcCorruption(crc);
        session.setPercentage(45);
        session.setSyncErrorInformation(QStringLiteral("server said no"));
        const auto row = OVSessionRowAppearance::forSession(session);
        QVERIFY(row);
        QCOMPARE(row->text, text);
        QCOMPARE(row->background, background);
        QCOMPARE(row->errorShown, error);
        QCOMPARE(row->errorToolTip,
                 toolTip == QLatin1String("-") ? std::nullopt : std::optional<QString>(toolTip));
    }

    void unknownStatusLeavesTheRow() {
        OVSession session;
        for (int status : {12, 40, -1}) {
            session.setSyncStatus(status);
            QVERIFY(!OVSessionRowAppearance::forSession(session));
        }
    }
};

QTEST_GUILESS_MAIN(tst_OVDeviceRows)
#include "tst_OVDeviceRows.moc"
