#pragma once

#include "OVError.h"
#include <QCoreApplication>

#include <QHash>
#include <QString>

#include <functional>

/** One message of the detail view's message box. */
struct OVMaintenanceMessage {
    QString text;
    bool showOk = false;
    bool showCancel = false;
    /** The circular progress indicator runs while the message is shown. */
    bool spinner = false;
};

/**
 * The device detail's maintenance flows: the firmware offer and update (with the fallback to a
 * recovery), restore, erase. It decides which message to show, what the message's buttons do and
 * what to ask of the device; the view renders the messages and performs the actions.
 *
 *   idle -> confirming --OK--> updating --fails--> updating (as a recovery) --fails--> idle (failure)
 *                    |                 --written--> written --device back--> idle (completion message)
 *                    --OK--> resetting --reset--> reset --device back--> idle (completion message;
 *                    |                                                          user re-read)
 *                    --OK--> erasing   --completed--> idle (completion message)
 *                    --Cancel--> idle
 *
 * "Device back" is the view initialised again with the device connected; in updating or resetting
 * (before the device reported the write or the reset done) it changes nothing: a detail re-opened
 * while the firmware is still being written keeps the wait message. An unplug changes nothing in
 * any state (the device restarts on its own); the device list holds the detail open while
 * haveToWaitToReconnect(). A flow belongs to one device and outlives the views: while no view shows
 * it, it goes on and keeps its last message, which present() shows again to the next view.
 * Main thread only: device reports are queued onto it.
 */
class OVMaintenanceFlow {
    Q_DECLARE_TR_FUNCTIONS(OVMaintenanceFlow)

public:
    /** What the flow needs to know about the shown device, read by the view when asked. */
    struct Device {
        QString serial;
        bool connected = false;
        /** Syncing or storing. */
        bool busy = false;
        bool updateAvailable = false;
        bool hasSessions = false;
        QString firmwareRevision;
    };

    /** What the view showing the device does; every member must be set. */
    struct Presenter {
        /** Enable (subject to the view's own rules) or disable the maintenance buttons. */
        std::function<void()> enable;
        std::function<void()> disable;
        /** Puts the message box over the view, or changes the message it shows. */
        std::function<void(const OVMaintenanceMessage&)> showMessage;
        /** Stops the progress indicator and removes the message box. */
        std::function<void()> hideMessage;
        /** An application-modal alert with a single OK button. */
        std::function<void(const QString& title, const QString& text)> showAlert;
        /** After a restore: forget the default user shown and read it again from the device. */
        std::function<void()> reloadDefaultUser;

        /** What the flow talks to while no view shows the device: nothing happens. */
        static Presenter none();
    };

    /** The device's side; every member must be set. */
    struct Actions {
        /** Each starts an operation on the shown device; false (and the error) when it could not. */
        std::function<bool(OVError*)> updateDevice;
        std::function<bool(OVError*)> recoverDevice;
        std::function<bool(OVError*)> resetDevice;
        std::function<bool(OVError*)> eraseDevice;
        /** Runs work once after a pause of milliseconds (a single-shot timer on the view's thread). */
        std::function<void(int milliseconds, std::function<void()> work)> later;
    };

    /** A device whose update failed restarts into recovery mode: how often and how long to wait for it. */
    static constexpr int kRecoveryAttempts = 20;
    static constexpr int kRecoveryPauseMs = 500;

    /** packagedVersion is the firmware shipped with the application ("1.0.4"). */
    OVMaintenanceFlow(Actions actions, QString packagedVersion, QString supportAddress);

    /** The operating system's version for the firmware lock; 0.0 (not macOS) never locks. */
    void setOSVersion(int major, int minor);
    /** Locked on 10.11 and later 10.x systems for a firmware older than 1.1.0. */
    static bool isFirmwareLocked(int osMajor, int osMinor, const QString& firmwareRevision);
    bool checkIsFwLocked(const Device& device) const;

    /** The offer made on its own: when the detail opens, after a session list and after a sync. */
    void askForFirmwareUpdate(const Device& device);
    void onUpdateClick(const Device& device);
    void onRestoreClick();
    void onEraseClick();
    /** The message box's buttons. */
    void onOkClick();
    void onCancelClick();

    void onUpdateDeviceCompleted(bool success);
    void onRecoverDeviceCompleted(bool success);
    void onResetDeviceCompleted(bool success);
    void onEraseDeviceCompleted(bool success);
    /** The view is initialised again with the device back after an update or a restore. */
    void deviceIsBack();
    /**
     * A view starts showing this device: the flow shows it where it stands (its message, its buttons)
     * and talks to it from now on.
     */
    void present(Presenter presenter);
    /** No view shows the device any more: the flow goes on and keeps its message. */
    void withdraw();
    /** An unplugged device is offered the firmware again when it comes back. */
    void forgetDeclinedOffer(const QString& serial);

    bool haveToWaitToReconnect() const { return m_isFirmwareUpdate || m_isResetting; }
    bool isFirmwareUpdate() const { return m_isFirmwareUpdate; }
    bool isResetting() const { return m_isResetting; }
    /** An update, recovery, restore or erase runs: the maintenance buttons stay disabled. */
    bool isBusy() const { return m_isFirmwareUpdate || m_isResetting || m_isErasing; }
    bool isMessageShown() const { return m_messageShown; }

private:
    void showMessage(const OVMaintenanceMessage& message, std::function<void()> onOk = {},
                     std::function<void()> onCancel = {});
    /** An OK-only message whose OK hides it. */
    void inform(const QString& text);
    void hideMessage();
    void startFirmwareUpdate();
    /** Starts the recovery, or tries again later while the device is still restarting. */
    void attemptRecovery(int attemptsLeft);
    void beforeFirmwareUpdateStart();
    void updateFailed();
    void resetFailed();
    void eraseFailed();
    void showCompletion(const QString& text, std::function<void()> onOk);
    bool needsEraseFirst(const Device& device) const;

    const Actions m_actions;
    Presenter m_presenter = Presenter::none();
    const QString m_packagedVersion;
    const QString m_supportAddress;
    int m_osMajor = 0;
    int m_osMinor = 0;
    /** Serials whose automatic offer was declined, until unplugged. */
    QHash<QString, bool> m_ignoreFwUpdateDic;
    bool m_isFirmwareUpdate = false;
    bool m_isResetting = false;
    /** The device reported the firmware written (update or recovery) or the reset done. */
    bool m_writeCompleted = false;
    bool m_resetCompleted = false;
    /** Not seen by the device list: an erase does not hold the detail open. */
    bool m_isErasing = false;
    bool m_messageShown = false;
    /** The message on screen, for a view that starts showing the device later. */
    OVMaintenanceMessage m_message;
    std::function<void()> m_onOk;
    std::function<void()> m_onCancel;
};
