#pragma once

#include "OVDeviceCommandDelegate.h"

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

/**
 * Forwards the executor's typed results to every subscriber, in the order they subscribed, each
 * once. Subscribing and unsubscribing may happen on any thread while a walk runs on another: a
 * walk goes over the list as it was when it began, skipping those unsubscribed since; a
 * subscriber added meanwhile is told from the next walk on. A subscriber's std::exception (ours
 * or any other) is logged and dropped and the walk goes on; anything else thrown is passed on.
 */
class OVDeviceCommandNotifyer {
public:
    OVDeviceCommandNotifyer();
    ~OVDeviceCommandNotifyer();

    /** Held strongly; a subscriber already present is not added again. */
    void addDeviceCommandDelegate(const std::shared_ptr<OVDeviceCommandDelegate>& delegate);
    void removeDeviceCommandDelegate(const std::shared_ptr<OVDeviceCommandDelegate>& delegate);
    std::vector<std::shared_ptr<OVDeviceCommandDelegate>> commandNotificationDelegates() const;

    void notifyGotBatteryLevelForDevice(const std::shared_ptr<OVDeviceInfo>& device, int level);
    void notifySetClockForDeviceCompleted(const std::shared_ptr<OVDeviceInfo>& device, bool success);
    void notifyIdentifyDeviceCompleted(const std::shared_ptr<OVDeviceInfo>& device, bool success);
    void notifyEraseDeviceCompleted(const std::shared_ptr<OVDeviceInfo>& device, bool success);
    void notifyResetDeviceCompleted(const std::shared_ptr<OVDeviceInfo>& device, bool success);
    void notifyUpdateDeviceCompleted(const std::shared_ptr<OVDeviceInfo>& device, bool success);
    void notifyUpdateDeviceInProgress(const std::shared_ptr<OVDeviceInfo>& device, double percentage);
    void
    notifyGetSessionListForDeviceCompleted(const std::shared_ptr<OVDeviceInfo>& device, bool success,
                                           const std::optional<QList<std::shared_ptr<OVSession>>>& sessions);
    void notifyAssignDefaultUser(const std::shared_ptr<OVDeviceInfo>& device, bool success, quint64 userId);
    void notifyGetDefaultUser(const std::shared_ptr<OVDeviceInfo>& device, bool success, quint64 userId);
    void notifyRecoverDeviceCompleted(const std::shared_ptr<OrvaneUSBDevice>& device, bool success);
    void notifyRecoverDeviceInProgress(const std::shared_ptr<OrvaneUSBDevice>& device, double percentage);

private:
    using List = std::vector<std::shared_ptr<OVDeviceCommandDelegate>>;
    void notifyAll(const std::function<void(OVDeviceCommandDelegate&)>& call);
    bool isSubscribed(const std::shared_ptr<OVDeviceCommandDelegate>& delegate) const;

    mutable std::mutex m_mutex;
    /** Replaced, never changed in place, so a walk can hold the list it began with. */
    std::shared_ptr<const List> m_delegates;
};
