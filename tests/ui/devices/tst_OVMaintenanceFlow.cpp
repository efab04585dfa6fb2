// The maintenance flows of the device detail: the firmware lock and offer, update with its fallback
// to a recovery, restore and erase, with their messages and what each asks of the device.
#include "OVMaintenanceFlow.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString kUpdateFailed = u"Failed to update device. Please try again by RESTARTING OvServices. Please "
                              u"DO NOT unplug the device. If the "
                              u"issue persist, please contact support"_s;
const QString kOffer = u"There is a new firmware version available. Would you like to update to firmware "
                       u"version 1.2.0? Please do not "
                       u"use a USB HUB. Connect it directly to your MAC."_s;

/** Plays the view: records what the flow asks, answers the device operations as told. */
struct ViewRecorder {
    QStringList calls; // the device operations asked for, in order
    QStringList events;
    QList<OVMaintenanceMessage> messages;
    bool messageOnScreen = false;
    /** How often each operation refuses to start before it starts; -1: always. */
    QHash<QString, int> refusals;
    QList<std::function<void()>> pending;

    OVMaintenanceFlow::Actions actions() {
        auto start = [this](const QString& name) {
            return [this, name](OVError*) {
                calls << name;
                int& left = refusals[name];
                if (left == 0)
                    return true;
                left = std::max(-1, left - 1);
                return false;
            };
        };
        OVMaintenanceFlow::Actions a;
        a.updateDevice = start(QStringLiteral("update"));
        a.recoverDevice = start(QStringLiteral("recover"));
        a.resetDevice = start(QStringLiteral("reset"));
        a.eraseDevice = start(QStringLiteral("erase"));
        a.enable = [this] { events << QStringLiteral("enable"); };
        a.disable = [this] { events << QStringLiteral("disable"); };
        a.showMessage = [this](const OVMaintenanceMessage& m) {
            messages << m;
            messageOnScreen = true;
        };
        a.hideMessage = [this] { messageOnScreen = false; };
        a.showAlert = [this](const QString& title, const QString& text) {
            events << title + QLatin1Char('|') + text;
        };
        a.reloadDefaultUser = [this] { events << QStringLiteral("reloadUser"); };
        a.later = [this](int, std::function<void()> work) { pending << std::move(work); };
        return a;
    }
    QString shown() const { return messageOnScreen ? messages.last().text : QString(); }
    void runPending() {
        while (!pending.isEmpty())
            pending.takeFirst()();
    }
};

OVMaintenanceFlow::Device device() {
    OVMaintenanceFlow::Device d;
    d.serial = QStringLiteral("OV1");
    d.connected = true;
    d.updateAvailable = true;
    d.firmwareRevision = QStringLiteral("1.0.9");
    return d;
}

} // namespace

class tst_OVMaintenanceFlow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void firmwareLock_data() {
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<QString>("revision");
        QTest::addColumn<bool>("locked");
        QTest::newRow("10.11, 1.0.9") << 10 << 11 << u"1.0.9"_s << true;
        QTest::newRow("10.13, bare 105") << 10 << 13 << u"105"_s << true;
        QTest::newRow("10.11, 1.1.0") << 10 << 11 << u"1.1.0"_s << false;
        QTest::newRow("10.11, 1.10.0") << 10 << 11 << u"1.10.0"_s << false;
        QTest::newRow("10.10") << 10 << 10 << u"1.0.9"_s << false;
        QTest::newRow("11.0") << 11 << 0 << u"1.0.9"_s << false;
        QTest::newRow("not macOS") << 0 << 0 << u"1.0.9"_s << false;
    }
    void firmwareLock() {
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(QString, revision);
        QFETCH(bool, locked);
        QCOMPARE(OVMaintenanceFlow::isFirmwareLocked(major, minor, revision), locked);
        // A locked device is never offered the update and its button explains why.
        ViewRecorder view;
        OVMaintenanceFlow flow(view.actions(), QStringLiteral("1.2.0"), QStringLiteral("help@example.org"));
        flow.setOSVersion(major, minor);
        auto d = device();
        d.firmwareRevision = revision;
        flow.askForFirmwareUpdate(d);
        QCOMPARE(view.shown(), locked ? QString() : kOffer);
        flow.onCancelClick();
        flow.onUpdateClick(d);
        QCOMPARE(view.events.filter(QStringLiteral("Firware update|")).size(), locked ? 1 : 0);
        QVERIFY(!locked || view.events.last().endsWith(QLatin1String("issue at help@example.org")));
    }

    // change: what differs from an idle, plugged, empty device with an update; "button": asked by the
    // Update button, else by the detail's own offer.
    void offer_data() {
        QTest::addColumn<QString>("packaged");
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("cancel");
        const QString eraseFirst =
            u"There is a firware update available (1.0.4) but you need to erase your device "
            u"before upgrading."_s;
        QTest::newRow("offer") << u"1.2.0"_s << u""_s << kOffer << true;
        QTest::newRow("1.0.4 with sessions")
            << u"1.0.4"_s << u"sessions"_s
            << eraseFirst + u" Please do not use a USB HUB. Connect it directly to your MAC."_s << false;
        QTest::newRow("1.0.4 erased")
            << u"1.0.4"_s << u""_s << QString(kOffer).replace(u"1.2.0"_s, u"1.0.4"_s) << true;
        QTest::newRow("unplugged") << u"1.2.0"_s << u"unplugged"_s << u""_s << false;
        QTest::newRow("busy") << u"1.2.0"_s << u"busy"_s << u""_s << false;
        QTest::newRow("up to date") << u"1.2.0"_s << u"current"_s << u""_s << false;
        QTest::newRow("button, up to date")
            << u"1.2.0"_s << u"button current"_s << u"Already up to date"_s << false;
        QTest::newRow("button, 1.0.4 with sessions")
            << u"1.0.4"_s << u"button sessions"_s << eraseFirst << false;
    }
    void offer() {
        QFETCH(QString, packaged);
        QFETCH(QString, change);
        QFETCH(QString, message);
        QFETCH(bool, cancel);
        ViewRecorder view;
        OVMaintenanceFlow flow(view.actions(), packaged, QString());
        auto d = device();
        d.hasSessions = change.contains(u"sessions"_s);
        d.connected = !change.contains(u"unplugged"_s);
        d.busy = change.contains(u"busy"_s);
        d.updateAvailable = !change.contains(u"current"_s);
        change.startsWith(u"button"_s) ? flow.onUpdateClick(d) : flow.askForFirmwareUpdate(d);
        QCOMPARE(view.shown(), message);
        if (!message.isEmpty())
            QCOMPARE(view.messages.last().showCancel, cancel);
        if (!cancel) {
            flow.onOkClick(); // an answer without a choice only goes away
            QCOMPARE(view.shown(), QString());
        }
        QVERIFY(view.calls.isEmpty());
    }

    void declinedOfferIsRememberedUntilUnplugged() {
        ViewRecorder view;
        OVMaintenanceFlow flow(view.actions(), QStringLiteral("1.2.0"), QString());
        flow.askForFirmwareUpdate(device());
        flow.onCancelClick();
        QCOMPARE(view.shown(), QString());
        flow.askForFirmwareUpdate(device());
        QCOMPARE(view.shown(), QString());
        flow.onUpdateClick(device()); // the button still asks; its Cancel is not remembered
        QVERIFY(view.shown().startsWith(
            QLatin1String("Are you sure you wish to update the Orvane device to firwmare "
                          "1.2.0?. Please do not use a USB HUB.")));
        flow.onCancelClick();
        flow.forgetDeclinedOffer(device().serial);
        flow.askForFirmwareUpdate(device());
        QCOMPARE(view.shown(), kOffer);
        QVERIFY(view.calls.isEmpty());
    }

    void update_data() {
        QTest::addColumn<QStringList>("refused"); // "operation:times" refused before starting, -1 always
        QTest::addColumn<QStringList>("reports"); // device reports, in order
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QString>("message");
        QTest::newRow("succeeds") << QStringList{} << QStringList{u"update ok"_s, u"back"_s}
                                  << QStringList{u"update"_s} << u"Updating the Orvane Device completed."_s;
        QTest::newRow("cannot start")
            << QStringList{u"update:-1"_s} << QStringList{} << QStringList{u"update"_s} << kUpdateFailed;
        QTest::newRow("fails, recovery never starts")
            << QStringList{u"recover:-1"_s} << QStringList{u"update failed"_s}
            << QStringList{u"update"_s} + QStringList(OVMaintenanceFlow::kRecoveryAttempts, u"recover"_s)
            << kUpdateFailed;
        QTest::newRow("fails, device back in recovery mode later")
            << QStringList{u"recover:3"_s} << QStringList{u"update failed"_s, u"back"_s}
            << QStringList{u"update"_s, u"recover"_s, u"recover"_s, u"recover"_s, u"recover"_s}
            << u"Updating the Orvane Device completed."_s;
        QTest::newRow("fails, recovery fails")
            << QStringList{} << QStringList{u"update failed"_s, u"recover failed"_s}
            << QStringList{u"update"_s, u"recover"_s} << kUpdateFailed;
    }
    void update() {
        QFETCH(QStringList, refused);
        QFETCH(QStringList, reports);
        QFETCH(QStringList, calls);
        QFETCH(QString, message);
        ViewRecorder view;
        for (const QString& refusal : refused)
            view.refusals[refusal.section(u':', 0, 0)] = refusal.section(u':', 1).toInt();
        OVMaintenanceFlow flow(view.actions(), QStringLiteral("1.2.0"), QString());
        flow.onUpdateClick(device());
        flow.onOkClick();
        for (const QString& report : reports) {
            QVERIFY(flow.haveToWaitToReconnect());
            QVERIFY(view.messages.last().spinner);
            if (report == QLatin1String("update ok")) {
                flow.onUpdateDeviceCompleted(true);
            } else if (report == QLatin1String("update failed")) {
                flow.onUpdateDeviceCompleted(false);
                view.runPending();
            } else if (report == QLatin1String("recover failed")) {
                flow.onRecoverDeviceCompleted(false);
            } else {
                flow.deviceIsBack();
            }
        }
        QCOMPARE(view.calls, calls);
        QCOMPARE(view.shown(), message);
        QVERIFY(!flow.haveToWaitToReconnect());
        QVERIFY(view.messages.last().showOk && !view.messages.last().spinner);
        QCOMPARE(view.events.last() == QLatin1String("enable"), message == kUpdateFailed);
        flow.onOkClick();
        QCOMPARE(view.shown(), QString());
        QCOMPARE(view.events.last(), QStringLiteral("enable"));
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
        const bool reset = operation == QLatin1String("reset");
        const bool starts = outcome != QLatin1String("refuses"), succeeds = outcome == QLatin1String("ok");
        ViewRecorder view;
        view.refusals[operation] = starts ? 0 : -1;
        OVMaintenanceFlow flow(view.actions(), QStringLiteral("1.2.0"), QString());
        reset ? flow.onRestoreClick() : flow.onEraseClick();
        flow.onCancelClick();
        QVERIFY(view.calls.isEmpty());
        reset ? flow.onRestoreClick() : flow.onEraseClick();
        flow.onOkClick();
        QCOMPARE(view.calls, QStringList{operation});
        if (starts) {
            QCOMPARE(view.shown(),
                     reset
                         ? QStringLiteral("Please wait while it is restoring the device original state.")
                         : QStringLiteral("Please wait while it is erasing the data on the Orvane device."));
            QCOMPARE(flow.haveToWaitToReconnect(), reset); // only a restore restarts the device
            flow.askForFirmwareUpdate(device());           // an offer never replaces the wait
            QVERIFY(!view.messages.last().showOk);
            if (reset) {
                flow.onResetDeviceCompleted(succeeds);
                if (succeeds)
                    flow.deviceIsBack();
            } else {
                flow.onEraseDeviceCompleted(succeeds);
            }
        }
        QCOMPARE(view.shown(), message);
        QVERIFY(!flow.haveToWaitToReconnect());
        flow.onOkClick();
        QCOMPARE(view.shown(), QString());
        QCOMPARE(view.events.contains(QStringLiteral("reloadUser")), reset && succeeds);
    }
};

QTEST_GUILESS_MAIN(tst_OVMaintenanceFlow)
#include "tst_OVMaintenanceFlow.moc"
