#include "OVDeviceListNavigator.h"

#include "OVDeviceInfo.h"
#include "OVError.h"
#include "OVSession.h"

OVDeviceListNavigator::Decision
OVDeviceListNavigator::afterDeviceListChange(const Situation& situation,
                                             const QList<std::shared_ptr<OVDeviceInfo>>& devices,
                                             const IsRecovering& isRecovering) {
    if (!situation.signedIn)
        return {Action::ShowNoOrvane, nullptr};
    if (situation.showing == OVDeviceListPane::Detail) {
        auto shown = findDeviceBySerial(devices, situation.shownSerial);
        if (situation.waitToReconnect && (!shown || !shown->isConnected()))
            return {Action::Keep, nullptr};
        return {Action::ShowDetail, std::move(shown)};
    }
    if (situation.showing == OVDeviceListPane::Assign)
        return {Action::RefreshAssign, nullptr};
    if (devices.size() == 1 && !isRecovering(devices.first()))
        return {Action::ShowDetail, devices.first()};
    return {Action::ShowList, nullptr};
}

bool OVDeviceListNavigator::canOpen(const OVDeviceInfo& device) {
    return !device.isInRecovery();
}

bool OVDeviceListNavigator::signsOut(const OVSession& session) {
    return session.syncStatus() == OVSessionSyncStatusSyncFailed &&
           OVError(session.syncErrorDomain(), session.syncErrorCode(), QString()).isUnauthorized();
}

std::shared_ptr<OVDeviceInfo>
OVDeviceListNavigator::findDeviceBySerial(const QList<std::shared_ptr<OVDeviceInfo>>& devices,
                                          const QString& serial) {
    for (const auto& device : devices) {
        if (device->serial() == serial)
            return device;
    }
    return nullptr;
}
