// What a device row and a session row show: battery, connection, sync count and state, the session's
// status texts and errors, the detail's battery bar.
#include "OVBatteryGauge.h"
#include "OVDeviceInfo.h"
#include "OVOrvaneCellModel.h"
#include "OVSession.h"
#include "OVSessionRowAppearance.h"
#include "OVUser.h"

#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(OVOrvaneCellState)

class tst_OVDeviceRows : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void battery_data() {
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("percent");
        QTest::addColumn<int>("barWidth");
        QTest::addColumn<bool>("low");
        QTest::newRow("full") << 100 << u"Charged"_s << u"100%"_s << 21 << false;
        QTest::newRow("99") << 99 << u"Charging"_s << u"99%"_s << 20 << false;
        QTest::newRow("16 is still good") << 16 << u"Charging"_s << u"16%"_s << 3 << false;
        QTest::newRow("15 is low") << 15 << u"Charging"_s << u"15%"_s << 3 << true;
        QTest::newRow("empty") << 0 << u"Charging"_s << u"0%"_s << 0 << true;
        QTest::newRow("unknown") << -1 << u"N/A"_s << u"N/A"_s << 0 << true;
    }
    void battery() {
        QFETCH(int, level);
        QFETCH(QString, text);
        QFETCH(QString, percent);
        QFETCH(int, barWidth);
        QFETCH(bool, low);
        QCOMPARE(OVOrvaneCellModel::batteryText(level), text);
        QCOMPARE(OVBatteryGauge::levelText(level), percent);
        QCOMPARE(OVBatteryGauge::barWidth(level), barWidth);
        QCOMPARE(OVBatteryGauge::barColor(level) == OVDeviceViewColor::LowBattery, low);
    }

    void unpluggedDeviceShowsDisconnected() {
        OVDeviceInfo device;
        device.setIsConnected(false);
        QCOMPARE(OVOrvaneCellModel::connectionText(device), u"Disconnected"_s);
        QVERIFY(!OVOrvaneCellModel::canIdentify(device));
    }

    void syncBadge_data() {
        QTest::addColumn<QList<int>>("statuses");
        QTest::addColumn<bool>("storing");
        QTest::addColumn<bool>("syncing");
        QTest::addColumn<QString>("count");
        QTest::addColumn<OVOrvaneCellState>("state");
        using S = OVOrvaneCellState;
        QTest::newRow("no sessions") << QList<int>{} << true << true << u"0/0"_s << S::NoSessions;
        QTest::newRow("2 of 3, idle") << QList<int>{4, 4, 1} << false << false << u"2/3"_s << S::NotSynching;
        QTest::newRow("3 of 3") << QList<int>{4, 4, 4} << false << false << u"3/3"_s << S::Complete;
        QTest::newRow("storing wins") << QList<int>{4, 8} << true << true << u"1/2"_s << S::Storing;
        QTest::newRow("syncing beats complete")
            << QList<int>{4} << false << true << u"1/1"_s << S::InProgress;
    }
    void syncBadge() {
        QFETCH(QList<int>, statuses);
        QFETCH(bool, storing);
        QFETCH(bool, syncing);
        QFETCH(QString, count);
        QFETCH(OVOrvaneCellState, state);
        QList<std::shared_ptr<OVSession>> sessions;
        for (int status : statuses) {
            sessions << std::make_shared<OVSession>();
            sessions.last()->setSyncStatus(status);
        }
        QCOMPARE(OVOrvaneCellModel::syncCountText(sessions), count);
        QCOMPARE(OVOrvaneCellModel::syncState(sessions, storing, syncing), state);
    }

    void texts() {
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
        QTest::addColumn<QString>("text"); // empty: the row is left as it was
        QTest::addColumn<bool>("error");
        QTest::addColumn<QString>("toolTip"); // "-" leaves the tool tip as it was
        const QString keep = QStringLiteral("-");
        QTest::newRow("0") << 0 << false << u"Status N/A"_s << false << u""_s;
        for (int ready : {1, 6, 9})
            QTest::addRow("%d ready", ready) << ready << false << u"Ready to Sync"_s << false << u""_s;
        QTest::newRow("2 started") << 2 << false << u"Syncing \t\t0%"_s << false << keep;
        QTest::newRow("3 syncing") << 3 << false << u"Syncing \t\t45%"_s << false << keep;
        QTest::newRow("4") << 4 << false << u"Synced"_s << false << keep;
        QTest::newRow("5") << 5 << false << u"Failed Syncing"_s << true << u"server said no"_s;
        const QString corrupted = QStringLiteral("Sorry the session is corrupted and cannot by synced.");
        QTest::newRow("7 crc") << 7 << true << u"Corrupted"_s << true << corrupted;
        QTest::newRow("10 crc") << 10 << true << u"Corrupted"_s << true << corrupted;
        QTest::newRow("7") << 7 << false << u"Waiting for Storing"_s << false << keep;
        QTest::newRow("8") << 8 << false << u"Storing Locally 45%"_s << false << keep;
        QTest::newRow("11") << 11 << true << u"CRC Checking 45%"_s << false << keep;
        for (int unknown : {12, 40, -1})
            QTest::addRow("%d unknown", unknown) << unknown << false << QString() << false << keep;
    }
    void sessionStatus() {
        QFETCH(int, status);
        QFETCH(bool, crc);
        QFETCH(QString, text);
        QFETCH(bool, error);
        QFETCH(QString, toolTip);
        OVSession session;
        session.setSyncStatus(status);
        session.setCrcCorruption(crc);
        session.setPercentage(45);
        session.setSyncErrorInformation(QStringLiteral("server said no"));
        const auto row = OVSessionRowAppearance::forSession(session);
        QCOMPARE(bool(row), !text.isEmpty());
        if (!row)
            return;
        QCOMPARE(row->text, text);
        QCOMPARE(row->errorShown, error);
        QCOMPARE(row->errorToolTip,
                 toolTip == QLatin1String("-") ? std::nullopt : std::optional<QString>(toolTip));
    }
};

QTEST_GUILESS_MAIN(tst_OVDeviceRows)
#include "tst_OVDeviceRows.moc"
