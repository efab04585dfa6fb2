// What the device list shows and where it goes: a device row's battery, connection, sync count and
// state, a session row's status texts and errors, the detail's battery bar, and which view the list
// shows when its devices change.
#include "OVBatteryGauge.h"
#include "OVDeviceInfo.h"
#include "OVDeviceListNavigator.h"
#include "OVOrvaneCellModel.h"
#include "OVSession.h"
#include "OVSessionRowAppearance.h"
#include "OVUser.h"

#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(OVOrvaneCellState)
Q_DECLARE_METATYPE(OVDeviceListPane)
Q_DECLARE_METATYPE(OVDeviceListNavigator::Action)

class tst_OVDeviceList : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void battery_data() {
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("shown"); // the row's text, the gauge's text, its bar width and colour
        QTest::newRow("full") << 100 << u"Charged 100% 21 normal"_s;
        QTest::newRow("99") << 99 << u"Charging 99% 20 normal"_s;
        QTest::newRow("16 is still good") << 16 << u"Charging 16% 3 normal"_s;
        QTest::newRow("15 is low") << 15 << u"Charging 15% 3 low"_s;
        QTest::newRow("empty") << 0 << u"Charging 0% 0 low"_s;
        QTest::newRow("unknown") << -1 << u"N/A N/A 0 low"_s;
    }
    void battery() {
        QFETCH(int, level);
        QFETCH(QString, shown);
        const bool low = OVBatteryGauge::barColor(level) == OVDeviceViewColor::LowBattery;
        QCOMPARE(u"%1 %2 %3 %4"_s.arg(OVOrvaneCellModel::batteryText(level), OVBatteryGauge::levelText(level))
                     .arg(OVBatteryGauge::barWidth(level))
                     .arg(low ? u"low"_s : u"normal"_s),
                 shown);
    }

    void syncBadge_data() {
        QTest::addColumn<QList<int>>("statuses");
        QTest::addColumn<QString>("busy"); // "storing" and/or "syncing"
        QTest::addColumn<QString>("count");
        QTest::addColumn<OVOrvaneCellState>("state");
        using S = OVOrvaneCellState;
        QTest::newRow("no sessions") << QList<int>{} << u"storing syncing"_s << u"0/0"_s << S::NoSessions;
        QTest::newRow("2 of 3, idle") << QList<int>{4, 4, 1} << u""_s << u"2/3"_s << S::NotSynching;
        QTest::newRow("3 of 3") << QList<int>{4, 4, 4} << u""_s << u"3/3"_s << S::Complete;
        QTest::newRow("storing wins") << QList<int>{4, 8} << u"storing syncing"_s << u"1/2"_s << S::Storing;
        QTest::newRow("syncing beats complete") << QList<int>{4} << u"syncing"_s << u"1/1"_s << S::InProgress;
    }
    void syncBadge() {
        QFETCH(QList<int>, statuses);
        QFETCH(QString, busy);
        QFETCH(QString, count);
        QFETCH(OVOrvaneCellState, state);
        QList<std::shared_ptr<OVSession>> sessions;
        for (int status : statuses) {
            sessions << std::make_shared<OVSession>();
            sessions.last()->setSyncStatus(status);
        }
        QCOMPARE(OVOrvaneCellModel::syncCountText(sessions), count);
        QCOMPARE(
            OVOrvaneCellModel::syncState(sessions, busy.contains(u"storing"_s), busy.contains(u"syncing"_s)),
            state);
    }

    void texts() {
        OVUser user;
        user.firstName = u"Ada"_s;
        user.lastName = u"Byron"_s;
        QCOMPARE(OVOrvaneCellModel::userText(user), u"Ada Byron"_s);
        QCOMPARE(OVOrvaneCellModel::userText(std::nullopt), u"Unknown"_s);
        OVSession session;
        session.setStart(OVDate::fromSecondsSince1970(1000));
        session.setEnd(OVDate::fromSecondsSince1970(1000 + 25 * 3600 + 61.9));
        QCOMPARE(OVSessionRowAppearance::durationText(session), u"25:01:01"_s);
        OVDeviceInfo unplugged;
        unplugged.setIsConnected(false);
        QCOMPARE(OVOrvaneCellModel::connectionText(unplugged), u"Disconnected"_s);
        QVERIFY(!OVOrvaneCellModel::canIdentify(unplugged));
    }

    // What the row shows: its text, " !" when the error mark shows, " tip:" and the error's tool tip when
    // it sets one (none leaves the tool tip as it was); empty when the row is left as it was.
    void sessionStatus_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("crc");
        QTest::addColumn<QString>("shown");
        QTest::newRow("0") << 0 << false << u"Status N/A tip:"_s;
        for (int ready : {1, 6, 9})
            QTest::addRow("%d ready", ready) << ready << false << u"Ready to Sync tip:"_s;
        QTest::newRow("2 started") << 2 << false << u"Syncing \t\t0%"_s;
        QTest::newRow("3 syncing") << 3 << false << u"Syncing \t\t45%"_s;
        QTest::newRow("4") << 4 << false << u"Synced"_s;
        QTest::newRow("5") << 5 << false << u"Failed Syncing ! tip:server said no"_s;
        const QString corrupted = u"Corrupted ! tip:Sorry the session is corrupted and cannot by synced."_s;
        QTest::newRow("7 crc") << 7 << true << corrupted;
        QTest::newRow("10 crc") << 10 << true << corrupted;
        QTest::newRow("7") << 7 << false << u"Waiting for Storing"_s;
        QTest::newRow("8") << 8 << false << u"Storing Locally 45%"_s;
        QTest::newRow("11") << 11 << true << u"CRC Checking 45%"_s;
        for (int unknown : {12, 40, -1})
            QTest::addRow("%d unknown", unknown) << unknown << false << QString();
    }
    void sessionStatus() {
        QFETCH(int, status);
        QFETCH(bool, crc);
        QFETCH(QString, shown);
        OVSession session;
        session.setSyncStatus(status);
        session.setCrcCorruption(crc);
        session.setPercentage(45);
        session.setSyncErrorInformation(u"server said no"_s);
        const auto row = OVSessionRowAppearance::forSession(session);
        QCOMPARE(row ? row->text + (row->errorShown ? u" !"_s : QString()) +
                           (row->errorToolTip ? u" tip:"_s + *row->errorToolTip : QString())
                     : QString(),
                 shown);
    }

    // The list holds at most one device here: its serial, with "-" when unplugged, "!" when recovering.
    // Opening the only device, listing more, the detail staying open as devices come and the placeholder
    // when signed out are checked on the real views.
    void afterDeviceListChange_data() {
        QTest::addColumn<OVDeviceListPane>("showing");
        QTest::addColumn<bool>("wait");
        QTest::addColumn<QString>("device");
        QTest::addColumn<OVDeviceListNavigator::Action>("action");
        QTest::addColumn<QString>("target");
        using A = OVDeviceListNavigator::Action;
        using P = OVDeviceListPane;
        QTest::newRow("no device lists") << P::NoOrvane << false << u""_s << A::ShowList << u""_s;
        QTest::newRow("one recovering lists") << P::List << false << u"A!"_s << A::ShowList << u""_s;
        QTest::newRow("detail of a gone device clears")
            << P::Detail << false << u"A"_s << A::ShowDetail << u""_s;
        QTest::newRow("restarting device gone") << P::Detail << true << u"A"_s << A::Keep << u""_s;
        QTest::newRow("restarting device unplugged") << P::Detail << true << u"S-"_s << A::Keep << u""_s;
        QTest::newRow("restarted device back") << P::Detail << true << u"S"_s << A::ShowDetail << u"S"_s;
        QTest::newRow("assign refreshes") << P::Assign << false << u"A"_s << A::RefreshAssign << u""_s;
    }
    void afterDeviceListChange() {
        QFETCH(OVDeviceListPane, showing);
        QFETCH(bool, wait);
        QFETCH(QString, device);
        QFETCH(OVDeviceListNavigator::Action, action);
        QFETCH(QString, target);
        QList<std::shared_ptr<OVDeviceInfo>> devices;
        if (!device.isEmpty()) {
            devices << std::make_shared<OVDeviceInfo>();
            devices[0]->setSerial(device.left(1));
            devices[0]->setIsConnected(device.size() == 1);
            devices[0]->setIsInRecovery(device.endsWith(u'!'));
        }
        const auto decision = OVDeviceListNavigator::afterDeviceListChange(
            {true, showing, u"S"_s, wait}, devices,
            [](const std::shared_ptr<OVDeviceInfo>& d) { return d->isInRecovery(); });
        QCOMPARE(decision.action, action);
        QCOMPARE(decision.device ? decision.device->serial() : QString(), target);
    }
};

QTEST_GUILESS_MAIN(tst_OVDeviceList)
#include "tst_OVDeviceList.moc"
