#include "OVMaintenanceFlow.h"

#include "OVFirmwareUpdater.h"

#include <utility>

namespace {

/** The shipped firmware that cannot be written over recorded sessions. */
const char* const kEraseFirstVersion = "1.0.4";
const char* const kUnlockedFirmware = "1.1.0";

} // namespace

OVMaintenanceFlow::OVMaintenanceFlow(Actions actions, QString packagedVersion, QString supportAddress)
    : m_actions(std::move(actions))
    , m_packagedVersion(std::move(packagedVersion))
    , m_supportAddress(std::move(supportAddress)) {}

void OVMaintenanceFlow::setOSVersion(int major, int minor) {
    m_osMajor = major;
    m_osMinor = minor;
}

bool OVMaintenanceFlow::isFirmwareLocked(int osMajor, int osMinor, const QString& firmwareRevision) {
    // Only the 10.x line from 10.11 on: a later major version with a small minor number is not locked.
    if (osMajor < 10 || osMinor <= 10)
        return false;
    // Old devices report a bare number ("105"), which stands for 0.105.0.
    const QString revision =
        firmwareRevision.size() == 3 ? QStringLiteral("0.%1.0").arg(firmwareRevision) : firmwareRevision;
    return OVFirmwareUpdater::compareNumerically(revision, QLatin1String(kUnlockedFirmware)) < 0;
}

bool OVMaintenanceFlow::checkIsFwLocked(const Device& device) const {
    return isFirmwareLocked(m_osMajor, m_osMinor, device.firmwareRevision);
}

bool OVMaintenanceFlow::needsEraseFirst(const Device& device) const {
    return m_packagedVersion == QLatin1String(kEraseFirstVersion) && device.hasSessions;
}

void OVMaintenanceFlow::askForFirmwareUpdate(const Device& device) {
    if (m_ignoreFwUpdateDic.value(device.serial) || !device.connected || m_isFirmwareUpdate || device.busy ||
        checkIsFwLocked(device) || !device.updateAvailable)
        return;
    // The box holds one message: an offer must not replace a wait or a completion still on screen.
    if (m_messageShown)
        return;
    if (needsEraseFirst(device)) {
        inform(
            tr("There is a firware update available (%1) but you need to erase your device before upgrading. "
               "Please do not use a USB HUB. Connect it directly to your computer.")
                .arg(m_packagedVersion));
        return;
    }
    const QString serial = device.serial;
    showMessage(
        {tr("There is a new firmware version available. Would you like to update to firmware version "
            "%1? Please do not use a USB HUB. Connect it directly to your computer.")
             .arg(m_packagedVersion),
         true, true, false},
        [this] {
            hideMessage();
            startFirmwareUpdate();
        },
        [this, serial] {
            hideMessage();
            m_ignoreFwUpdateDic.insert(serial, true);
        });
}

void OVMaintenanceFlow::onUpdateClick(const Device& device) {
    if (checkIsFwLocked(device)) {
        m_presenter.showAlert(
            tr("Firware update"),
            tr("The firmware update on OSX version greather than El Capitan is at the moment not "
               "accessible. Please contact support about the issue at ") +
                m_supportAddress);
        return;
    }
    if (!device.updateAvailable) {
        inform(tr("Already up to date"));
        return;
    }
    if (needsEraseFirst(device)) {
        inform(
            tr("There is a firware update available (%1) but you need to erase your device before upgrading.")
                .arg(m_packagedVersion));
        return;
    }
    showMessage(
        {tr("Are you sure you wish to update the Orvane device to firwmare %1?. Please do not use a USB HUB. "
            "Connect it directly to your computer.")
             .arg(m_packagedVersion),
         true, true, false},
        [this] {
            hideMessage();
            startFirmwareUpdate();
        },
        [this] { hideMessage(); });
}

void OVMaintenanceFlow::beforeFirmwareUpdateStart() {
    m_isFirmwareUpdate = true;
    m_writeCompleted = false;
    m_presenter.disable();
    showMessage(
        {tr("Please wait while your device firmware is being updated. Please do not unplug the Orvane "
            "device or you might lose all your data. The whole process takes around 1 minute."),
         false, false, true});
}

void OVMaintenanceFlow::startFirmwareUpdate() {
    beforeFirmwareUpdateStart();
    OVError error;
    if (!m_actions.updateDevice(&error))
        updateFailed();
}

void OVMaintenanceFlow::onUpdateDeviceCompleted(bool success) {
    if (!m_isFirmwareUpdate)
        return;
    // A success ends when the restarted device is back (deviceIsBack).
    if (success) {
        m_writeCompleted = true;
        return;
    }
    m_isFirmwareUpdate = false;
    m_presenter.enable();
    hideMessage();
    beforeFirmwareUpdateStart();
    attemptRecovery(kRecoveryAttempts);
}

void OVMaintenanceFlow::attemptRecovery(int attemptsLeft) {
    if (!m_isFirmwareUpdate)
        return;
    OVError error;
    if (m_actions.recoverDevice(&error))
        return;
    // The failed device leaves and comes back in recovery mode a moment later: giving up at once
    // would leave it without firmware.
    if (attemptsLeft > 1)
        m_actions.later(kRecoveryPauseMs, [this, attemptsLeft] { attemptRecovery(attemptsLeft - 1); });
    else
        updateFailed();
}

void OVMaintenanceFlow::onRecoverDeviceCompleted(bool success) {
    if (!m_isFirmwareUpdate)
        return;
    if (success)
        m_writeCompleted = true;
    else
        updateFailed();
}

void OVMaintenanceFlow::updateFailed() {
    m_isFirmwareUpdate = false;
    m_presenter.enable();
    hideMessage();
    inform(tr("Failed to update device. Please try again by RESTARTING OvServices. Please DO NOT unplug the "
              "device. If the issue persist, please contact support"));
}

void OVMaintenanceFlow::onRestoreClick() {
    showMessage(
        {tr("Are you sure you wish to restore the Orvane device to its original state? You will lose all "
            "your data."),
         true, true, false},
        [this] {
            m_isResetting = true;
            m_resetCompleted = false;
            m_presenter.disable();
            showMessage(
                {tr("Please wait while it is restoring the device original state."), false, false, true});
            OVError error;
            if (!m_actions.resetDevice(&error))
                resetFailed();
        },
        [this] { hideMessage(); });
}

void OVMaintenanceFlow::onResetDeviceCompleted(bool success) {
    if (!m_isResetting)
        return;
    if (success)
        m_resetCompleted = true;
    else
        resetFailed();
}

void OVMaintenanceFlow::resetFailed() {
    m_isResetting = false;
    m_presenter.enable();
    hideMessage();
    inform(tr("Failed to restore device. Please try again. If issue persist, please contact support."));
}

void OVMaintenanceFlow::onEraseClick() {
    showMessage(
        {tr("Are you sure you wish to erase all data on the Orvane device?"), true, true, false},
        [this] {
            m_isErasing = true;
            m_presenter.disable();
            showMessage(
                {tr("Please wait while it is erasing the data on the Orvane device."), false, false, true});
            OVError error;
            if (!m_actions.eraseDevice(&error))
                eraseFailed();
        },
        [this] { hideMessage(); });
}

void OVMaintenanceFlow::onEraseDeviceCompleted(bool success) {
    // Reports of an erase this view did not start (another client of the device) change nothing here.
    if (!m_isErasing)
        return;
    m_isErasing = false;
    if (success)
        showCompletion(tr("Erasing the data on the Orvane device completed."), {});
    else
        eraseFailed();
}

void OVMaintenanceFlow::eraseFailed() {
    m_isErasing = false;
    m_presenter.enable();
    hideMessage();
    inform(tr("Failed to erase device. Please try again. If issue persist, please contact support."));
}

void OVMaintenanceFlow::deviceIsBack() {
    // A device still connected while it is written to also "is back" when the view is initialised.
    if (m_isFirmwareUpdate && m_writeCompleted) {
        m_isFirmwareUpdate = false;
        showCompletion(tr("Updating the Orvane Device completed."), {});
    } else if (m_isResetting && m_resetCompleted) {
        m_isResetting = false;
        showCompletion(tr("Restoring the Vizavoz Device to its original state completed. Please do a "
                          "\"Forget this Device\" on your iPhone or iPad."),
                       [this] { m_presenter.reloadDefaultUser(); });
    }
}

void OVMaintenanceFlow::showCompletion(const QString& text, std::function<void()> onOk) {
    showMessage({text, true, false, false}, [this, onOk = std::move(onOk)] {
        m_presenter.enable();
        hideMessage();
        if (onOk)
            onOk();
    });
}

OVMaintenanceFlow::Presenter OVMaintenanceFlow::Presenter::none() {
    return {[] {}, [] {}, [](const OVMaintenanceMessage&) {}, [] {}, [](const QString&, const QString&) {},
            [] {}};
}

void OVMaintenanceFlow::present(Presenter presenter) {
    m_presenter = std::move(presenter);
    if (isBusy())
        m_presenter.disable();
    if (m_messageShown)
        m_presenter.showMessage(m_message);
}

void OVMaintenanceFlow::withdraw() {
    m_presenter = Presenter::none();
}

void OVMaintenanceFlow::forgetDeclinedOffer(const QString& serial) {
    m_ignoreFwUpdateDic.remove(serial);
}

void OVMaintenanceFlow::onOkClick() {
    // The callback usually replaces itself (hideMessage, a new message): run a copy.
    if (const auto onOk = m_onOk)
        onOk();
}

void OVMaintenanceFlow::onCancelClick() {
    if (const auto onCancel = m_onCancel)
        onCancel();
}

void OVMaintenanceFlow::showMessage(const OVMaintenanceMessage& message, std::function<void()> onOk,
                                    std::function<void()> onCancel) {
    m_onOk = std::move(onOk);
    m_onCancel = std::move(onCancel);
    m_messageShown = true;
    m_message = message;
    m_presenter.showMessage(message);
}

void OVMaintenanceFlow::inform(const QString& text) {
    showMessage({text, true, false, false}, [this] { hideMessage(); });
}

void OVMaintenanceFlow::hideMessage() {
    m_onOk = nullptr;
    m_onCancel = nullptr;
    m_messageShown = false;
    m_presenter.hideMessage();
}
