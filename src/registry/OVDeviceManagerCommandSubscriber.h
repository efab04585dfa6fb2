#pragma once

#include "OVDeviceCommandDelegate.h"

#include <memory>

class OVDeviceManager;

/**
 * The registry's own subscription to its executor: it hands the battery, default-user, erase and
 * recovery reports to the manager. The executor's notifier holds it, so it holds the manager
 * weakly and drops reports that arrive after the manager is gone. Called on the report's thread.
 */
class OVDeviceManagerCommandSubscriber : public OVDeviceCommandDelegate {
public:
    explicit OVDeviceManagerCommandSubscriber(std::weak_ptr<OVDeviceManager> manager);

    void onGetBatteryLevelCompleted(const std::shared_ptr<OVDeviceInfo>& device, int level) override;
    void onGetDefaultUser(const std::shared_ptr<OVDeviceInfo>& device, bool success, quint64 userId) override;
    void onEraseDeviceCompleted(const std::shared_ptr<OVDeviceInfo>& device, bool success) override;
    void onRecoverDeviceCompleted(const std::shared_ptr<OrvaneUSBDevice>& device, bool success) override;

private:
    const std::weak_ptr<OVDeviceManager> m_manager;
};
