#pragma once

#include "OVSession.h"

#include <QList>

#include <memory>
#include <optional>

class OVDeviceInfo;
class OrvaneUSBDevice;

/**
 * The outcomes of the executor's commands. Every operation is optional: the defaults do nothing.
 * Called on the thread that delivers the command's report (the library's callback thread, or the
 * caller's thread when a request never left); subscribers that touch the user interface move to
 * the main thread themselves. `device` is a fresh record built from the library's device, not the
 * registry's: find yours by serial. User ids are all bits set on failure.
 */
class OVDeviceCommandDelegate {
public:
    virtual ~OVDeviceCommandDelegate() = default;
    /** level is -1 when the query failed. */
    virtual void onGetBatteryLevelCompleted(const std::shared_ptr<OVDeviceInfo>& device, int level);
    virtual void onSetClockForDeviceCompleted(const std::shared_ptr<OVDeviceInfo>& device, bool success);
    virtual void onIdentifyDeviceCompleted(const std::shared_ptr<OVDeviceInfo>& device, bool success);
    virtual void onEraseDeviceCompleted(const std::shared_ptr<OVDeviceInfo>& device, bool success);
    virtual void onResetDeviceCompleted(const std::shared_ptr<OVDeviceInfo>& device, bool success);
    virtual void onUpdateDeviceCompleted(const std::shared_ptr<OVDeviceInfo>& device, bool success);
    virtual void onUpdateDeviceInProgress(const std::shared_ptr<OVDeviceInfo>& device, double percentage);
    /** sessions is empty (none) on failure. */
    virtual void
    onGetSessionListForDeviceCompleted(const std::shared_ptr<OVDeviceInfo>& device, bool success,
                                       const std::optional<QList<std::shared_ptr<OVSession>>>& sessions);
    virtual void onAssignDefaultUser(const std::shared_ptr<OVDeviceInfo>& device, bool success,
                                     quint64 userId);
    virtual void onGetDefaultUser(const std::shared_ptr<OVDeviceInfo>& device, bool success, quint64 userId);
    /** The recovery-mode device itself: identify it by locationID or OVHelper::getSerialForHID. */
    virtual void onRecoverDeviceCompleted(const std::shared_ptr<OrvaneUSBDevice>& device, bool success);
    virtual void onRecoverDeviceInProgress(const std::shared_ptr<OrvaneUSBDevice>& device, double percentage);
};
