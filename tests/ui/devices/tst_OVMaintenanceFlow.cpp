// The maintenance flows of the device detail: the firmware lock and offer, update with its fallback
// to a recovery, restore and erase, with their messages and what each asks of the device.
#include "OVMaintenanceFlow.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString kUpdateFailed = u"Failed to update device. Please try again by RESTARTING OvServices. Please "
                              u"DO NOT unplug the device. If the issue persist, please contact support"_s;
const QString kOffer = u"There is a new firmware version available. Would you like to update to firmware "
                       u"version 1.2.0? Please do not use a USB HUB. Connect it directly to your computer."_s;

/** Plays the view: records what the flow asks, answers the device operations as told. */
struct ViewRecorder {
    QStringList calls; // the device operations asked for, in order
    QStringList events;
    QList<OVMaintenanceMessage> messages;
    /** How often each operation refuses to start before it starts. */
    QHash<QString, int> refusals;
    QList<std::function<void()>> pending;

    std::unique_ptr<OVMaintenanceFlow> made;

    /** A flow that shows itself here, packaging the firmware version packaged. */
    OVMaintenanceFlow& flow(const QString& packaged = u"1.2.0"_s, const QString& support = QString()) {
        const auto start = [this](const QString& name) {
            return [this, name](OVError*) {
                calls << name;
                return refusals[name]-- <= 0;
            };
        };
        const auto record = [this](const QString& event) { return [this, event] { events << event; }; };
        OVMaintenanceFlow::Actions a{start(u"update"_s), start(u"recover"_s), start(u"reset"_s),
                                     start(u"erase"_s),
                                     [this](int, std::function<void()> work) { pending << std::move(work); }};
        made = std::make_unique<OVMaintenanceFlow>(std::move(a), packaged, support);
        OVMaintenanceFlow::Presenter p;
        p.enable = record(u"enable"_s);
        p.disable = record(u"disable"_s);
        p.reloadDefaultUser = record(u"reloadUser"_s);
        p.showMessage = [this](const OVMaintenanceMessage& m) { messages << m; };
        p.hideMessage = [this] { messages << OVMaintenanceMessage(); }; // an empty one: nothing on screen
        p.showAlert = [this](const QString& title, const QString& text) { events << title + u'|' + text; };
        made->present(std::move(p));
        return *made;
    }
    QString shown() const { return messages.isEmpty() ? QString() : messages.last().text; }
    void runPending() {
        while (!pending.isEmpty())
            pending.takeFirst()();
    }
};

/** OV1 on firmware 1.0.9: plugged, idle, an update available, no sessions. */
const OVMaintenanceFlow::Device kDevice{u"OV1"_s, true, false, true, false, u"1.0.9"_s};

} // namespace

class tst_OVMaintenanceFlow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void firmwareLock_data() {
        QTest::addColumn<QString>("os"); // the macOS version, major.minor; empty: not macOS
        QTest::addColumn<QString>("revision");
        QTest::addColumn<bool>("locked");
        QTest::newRow("10.11, 1.0.9") << u"10.11"_s << u"1.0.9"_s << true;
        QTest::newRow("10.13, bare 105") << u"10.13"_s << u"105"_s << true;
        QTest::newRow("10.11, 1.1.0") << u"10.11"_s << u"1.1.0"_s << false;
        QTest::newRow("10.11, 1.10.0") << u"10.11"_s << u"1.10.0"_s << false;
        QTest::newRow("10.10") << u"10.10"_s << u"1.0.9"_s << false;
        QTest::newRow("11.0") << u"11.0"_s << u"1.0.9"_s << false;
        QTest::newRow("not macOS") << QString() << u"1.0.9"_s << false;
    }
    void firmwareLock() {
        QFETCH(QString, os);
        QFETCH(QString, revision);
        QFETCH(bool, locked);
        const int major = os.section(u'.', 0, 0).toInt(), minor = os.section(u'.', 1).toInt();
        QCOMPARE(OVMaintenanceFlow::isFirmwareLocked(major, minor, revision), locked);
        // A locked device is never offered the update and its button explains why.
        ViewRecorder view;
        OVMaintenanceFlow& flow = view.flow(u"1.2.0"_s, u"help@example.org"_s);
        flow.setOSVersion(major, minor);
        auto d = kDevice;
        d.firmwareRevision = revision;
        flow.askForFirmwareUpdate(d);
        QCOMPARE(view.shown(), locked ? QString() : kOffer);
        flow.onCancelClick();
        flow.onUpdateClick(d);
        QCOMPARE(view.events.filter(u"Firware update|"_s).size(), locked ? 1 : 0);
        QVERIFY(!locked || view.events.last().endsWith(u"issue at help@example.org"_s));
    }

    // change: what differs from an idle, plugged, empty device with an update, and 1.2.0 packaged;
    // "button": asked by the Update button, else by the detail's own offer.
    void offer_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("message");
        const QString eraseFirst =
            u"There is a firware update available (1.0.4) but you need to erase your device before upgrading."_s;
        QTest::newRow("offer") << u""_s << kOffer;
        QTest::newRow("1.0.4 with sessions")
            << u"1.0.4 sessions"_s
            << eraseFirst + u" Please do not use a USB HUB. Connect it directly to your computer."_s;
        QTest::newRow("1.0.4 erased") << u"1.0.4"_s << QString(kOffer).replace(u"1.2.0"_s, u"1.0.4"_s);
        for (const QString& change : {u"unplugged"_s, u"busy"_s, u"current"_s})
            QTest::newRow(qPrintable(change)) << change << QString();
        QTest::newRow("button, up to date") << u"button current"_s << u"Already up to date"_s;
        QTest::newRow("button, 1.0.4 with sessions") << u"button 1.0.4 sessions"_s << eraseFirst;
    }
    void offer() {
        QFETCH(QString, change);
        QFETCH(QString, message);
        ViewRecorder view;
        OVMaintenanceFlow& flow = view.flow(change.contains(u"1.0.4"_s) ? u"1.0.4"_s : u"1.2.0"_s);
        auto d = kDevice;
        d.hasSessions = change.contains(u"sessions"_s);
        d.connected = !change.contains(u"unplugged"_s);
        d.busy = change.contains(u"busy"_s);
        d.updateAvailable = !change.contains(u"current"_s);
        change.startsWith(u"button"_s) ? flow.onUpdateClick(d) : flow.askForFirmwareUpdate(d);
        QCOMPARE(view.shown(), message);
        // Only an offer can be declined; an answer without a choice only goes away.
        const bool offered = message.startsWith(u"There is a new firmware"_s);
        QCOMPARE(!view.messages.isEmpty() && view.messages.last().showCancel, offered);
        if (!offered) {
            flow.onOkClick();
            QCOMPARE(view.shown(), QString());
        }
        QVERIFY(view.calls.isEmpty());
    }

    void declinedOfferIsRememberedUntilUnplugged() {
        ViewRecorder view;
        OVMaintenanceFlow& flow = view.flow();
        flow.askForFirmwareUpdate(kDevice);
        flow.onCancelClick();
        QCOMPARE(view.shown(), QString());
        flow.askForFirmwareUpdate(kDevice);
        QCOMPARE(view.shown(), QString());
        flow.onUpdateClick(kDevice); // the button still asks; its Cancel is not remembered
        QCOMPARE(view.shown(),
                 u"Are you sure you wish to update the Orvane device to firwmare 1.2.0?. Please do "
                 u"not use a USB HUB. Connect it directly to your computer."_s);
        flow.onCancelClick();
        flow.forgetDeclinedOffer(kDevice.serial);
        flow.askForFirmwareUpdate(kDevice);
        QCOMPARE(view.shown(), kOffer);
        QVERIFY(view.calls.isEmpty());
    }

    void update_data() {
        QTest::addColumn<QString>("refused"); // "operation:times" refused before starting
        QTest::addColumn<QString>("reports"); // device reports, in order
        QTest::addColumn<QString>("calls");
        QTest::addColumn<QString>("message");
        const QString done = u"Updating the Orvane Device completed."_s;
        QTest::newRow("succeeds") << u""_s << u"update ok,back"_s << u"update"_s << done;
        QTest::newRow("cannot start") << u"update:99"_s << u""_s << u"update"_s << kUpdateFailed;
        QTest::newRow("fails, recovery never starts")
            << u"recover:99"_s << u"update failed"_s
            << u"update"_s + u" recover"_s.repeated(OVMaintenanceFlow::kRecoveryAttempts) << kUpdateFailed;
        QTest::newRow("fails, device back in recovery mode later")
            << u"recover:3"_s << u"update failed,recover ok,back"_s
            << u"update recover recover recover recover"_s << done;
        // The view initialised again with the device connected while it is still written to.
        QTest::newRow("device back before its write is reported")
            << u""_s << u"back,update ok,back"_s << u"update"_s << done;
        QTest::newRow("fails, recovery fails")
            << u""_s << u"update failed,recover failed"_s << u"update recover"_s << kUpdateFailed;
    }
    void update() {
        QFETCH(QString, refused);
        QFETCH(QString, reports);
        QFETCH(QString, calls);
        QFETCH(QString, message);
        ViewRecorder view;
        view.refusals[refused.section(u':', 0, 0)] = refused.section(u':', 1).toInt();
        OVMaintenanceFlow& flow = view.flow();
        flow.onUpdateClick(kDevice);
        flow.onOkClick();
        const QHash<QString, std::function<void()>> report{
            {u"update ok"_s, [&] { flow.onUpdateDeviceCompleted(true); }},
            {u"update failed"_s, [&] { flow.onUpdateDeviceCompleted(false); }},
            {u"recover failed"_s, [&] { flow.onRecoverDeviceCompleted(false); }},
            {u"recover ok"_s, [&] { flow.onRecoverDeviceCompleted(true); }},
            {u"back"_s, [&] { flow.deviceIsBack(); }}};
        for (const QString& name : reports.split(u',', Qt::SkipEmptyParts)) {
            QVERIFY(flow.haveToWaitToReconnect());
            QVERIFY(view.messages.last().spinner);
            report[name]();
            view.runPending(); // the pauses before each recovery attempt pass
        }
        QCOMPARE(view.calls.join(u' '), calls);
        QCOMPARE(view.shown(), message);
        QVERIFY(!flow.haveToWaitToReconnect());
        QVERIFY(view.messages.last().showOk && !view.messages.last().spinner);
        QCOMPARE(view.events.last() == u"enable"_s, message == kUpdateFailed);
        flow.onOkClick();
        QCOMPARE(view.shown(), QString());
        QCOMPARE(view.events.last(), u"enable"_s);
    }

    void restoreAndErase_data() {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("outcome"); // the device "ok", "fails" or "refuses" to start
        QTest::addColumn<QString>("message");
        const QString restored = u"Restoring the Vizavoz Device to its original state completed. Please do a "
                                 u"\"Forget this Device\" on your iPhone or iPad."_s;
        const QString failed =
            u"Failed to %1 device. Please try again. If issue persist, please contact support."_s;
        QTest::newRow("restore") << u"reset"_s << u"ok"_s << restored;
        QTest::newRow("restore fails") << u"reset"_s << u"fails"_s << failed.arg(u"restore"_s);
        QTest::newRow("restore cannot start") << u"reset"_s << u"refuses"_s << failed.arg(u"restore"_s);
        QTest::newRow("erase") << u"erase"_s << u"ok"_s
                               << u"Erasing the data on the Orvane device completed."_s;
        QTest::newRow("erase fails") << u"erase"_s << u"fails"_s << failed.arg(u"erase"_s);
        QTest::newRow("erase cannot start") << u"erase"_s << u"refuses"_s << failed.arg(u"erase"_s);
    }
    void restoreAndErase() {
        QFETCH(QString, operation);
        QFETCH(QString, outcome);
        QFETCH(QString, message);
        const bool reset = operation == u"reset"_s;
        const bool starts = outcome != u"refuses"_s, succeeds = outcome == u"ok"_s;
        ViewRecorder view;
        view.refusals[operation] = starts ? 0 : 99;
        OVMaintenanceFlow& flow = view.flow();
        reset ? flow.onRestoreClick() : flow.onEraseClick();
        flow.onCancelClick();
        QVERIFY(view.calls.isEmpty());
        reset ? flow.onRestoreClick() : flow.onEraseClick();
        flow.onOkClick();
        QCOMPARE(view.calls, QStringList{operation});
        if (starts) {
            QCOMPARE(view.shown(), reset
                                       ? u"Please wait while it is restoring the device original state."_s
                                       : u"Please wait while it is erasing the data on the Orvane device."_s);
            QCOMPARE(flow.haveToWaitToReconnect(), reset); // only a restore restarts the device
            flow.askForFirmwareUpdate(kDevice);            // an offer never replaces the wait
            QVERIFY(!view.messages.last().showOk);
            flow.deviceIsBack(); // before the device reported: nothing ends
            QCOMPARE(flow.haveToWaitToReconnect(), reset);
            reset ? flow.onResetDeviceCompleted(succeeds) : flow.onEraseDeviceCompleted(succeeds);
            if (reset && succeeds)
                flow.deviceIsBack();
        }
        QCOMPARE(view.shown(), message);
        QVERIFY(!flow.haveToWaitToReconnect());
        flow.onOkClick();
        QCOMPARE(view.shown(), QString());
        QCOMPARE(view.events.contains(u"reloadUser"_s), reset && succeeds);
    }
};

QTEST_GUILESS_MAIN(tst_OVMaintenanceFlow)
#include "tst_OVMaintenanceFlow.moc"
