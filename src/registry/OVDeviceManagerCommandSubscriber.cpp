#include "OVDeviceManagerCommandSubscriber.h"

#include "OVDeviceManager.h"

OVDeviceManagerCommandSubscriber::OVDeviceManagerCommandSubscriber(std::weak_ptr<OVDeviceManager> manager)
    : m_manager(std::move(manager)) {}

void OVDeviceManagerCommandSubscriber::onGetBatteryLevelCompleted(const std::shared_ptr<OVDeviceInfo>& device,
                                                                  int level) {
    if (const auto manager = m_manager.lock())
        manager->onGetBatteryLevelCompleted(device, level);
}

void OVDeviceManagerCommandSubscriber::onGetDefaultUser(const std::shared_ptr<OVDeviceInfo>& device,
                                                        bool success, quint64 userId) {
    if (const auto manager = m_manager.lock())
        manager->onGetDefaultUser(device, success, userId);
}

void OVDeviceManagerCommandSubscriber::onEraseDeviceCompleted(const std::shared_ptr<OVDeviceInfo>& device,
                                                              bool success) {
    if (const auto manager = m_manager.lock())
        manager->onEraseDeviceCompleted(device, success);
}

void OVDeviceManagerCommandSubscriber::onRecoverDeviceCompleted(
    const std::shared_ptr<OrvaneUSBDevice>& device, bool success) {
    if (const auto manager = m_manager.lock())
        manager->onRecoverDeviceCompleted(device, success);
}
