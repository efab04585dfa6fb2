#include "OVDeviceCommandDelegate.h"

// Subscribers implement only what they need; the rest of the reports pass them by.
void OVDeviceCommandDelegate::onGetBatteryLevelCompleted(const std::shared_ptr<OVDeviceInfo>&, int) {}
void OVDeviceCommandDelegate::onSetClockForDeviceCompleted(const std::shared_ptr<OVDeviceInfo>&, bool) {}
void OVDeviceCommandDelegate::onIdentifyDeviceCompleted(const std::shared_ptr<OVDeviceInfo>&, bool) {}
void OVDeviceCommandDelegate::onEraseDeviceCompleted(const std::shared_ptr<OVDeviceInfo>&, bool) {}
void OVDeviceCommandDelegate::onResetDeviceCompleted(const std::shared_ptr<OVDeviceInfo>&, bool) {}
void OVDeviceCommandDelegate::onUpdateDeviceCompleted(const std::shared_ptr<OVDeviceInfo>&, bool) {}
void OVDeviceCommandDelegate::onUpdateDeviceInProgress(const std::shared_ptr<OVDeviceInfo>&, double) {}
void OVDeviceCommandDelegate::onGetSessionListForDeviceCompleted(
    const std::shared_ptr<OVDeviceInfo>&, bool, const std::optional<QList<std::shared_ptr<OVSession>>>&) {}
void OVDeviceCommandDelegate::onAssignDefaultUser(const std::shared_ptr<OVDeviceInfo>&, bool, quint64) {}
void OVDeviceCommandDelegate::onGetDefaultUser(const std::shared_ptr<OVDeviceInfo>&, bool, quint64) {}
void OVDeviceCommandDelegate::onRecoverDeviceCompleted(const std::shared_ptr<OrvaneUSBDevice>&, bool) {}
void OVDeviceCommandDelegate::onRecoverDeviceInProgress(const std::shared_ptr<OrvaneUSBDevice>&, double) {}
