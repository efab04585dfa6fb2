#include "OVDeviceCommandNotifyer.h"

#include "OVException.h"
#include "OVLogger.h"

#include <algorithm>

OVDeviceCommandNotifyer::OVDeviceCommandNotifyer()
    : m_delegates(std::make_shared<const List>()) {}

OVDeviceCommandNotifyer::~OVDeviceCommandNotifyer() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_delegates = std::make_shared<const List>();
}

void OVDeviceCommandNotifyer::addDeviceCommandDelegate(
    const std::shared_ptr<OVDeviceCommandDelegate>& delegate) {
    if (!delegate)
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (std::find(m_delegates->begin(), m_delegates->end(), delegate) != m_delegates->end())
        return;
    auto next = std::make_shared<List>(*m_delegates);
    next->push_back(delegate);
    m_delegates = std::move(next);
}

void OVDeviceCommandNotifyer::removeDeviceCommandDelegate(
    const std::shared_ptr<OVDeviceCommandDelegate>& delegate) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto next = std::make_shared<List>(*m_delegates);
    next->erase(std::remove(next->begin(), next->end(), delegate), next->end());
    m_delegates = std::move(next);
}

std::vector<std::shared_ptr<OVDeviceCommandDelegate>>
OVDeviceCommandNotifyer::commandNotificationDelegates() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return *m_delegates;
}

bool OVDeviceCommandNotifyer::isSubscribed(const std::shared_ptr<OVDeviceCommandDelegate>& delegate) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::find(m_delegates->begin(), m_delegates->end(), delegate) != m_delegates->end();
}

void OVDeviceCommandNotifyer::notifyAll(const std::function<void(OVDeviceCommandDelegate&)>& call) {
    std::shared_ptr<const List> walk;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        walk = m_delegates;
    }
    for (const auto& delegate : *walk) {
        if (!isSubscribed(delegate))
            continue; // left while the walk was under way
        try {
            call(*delegate);
        } catch (const std::exception&) {
            // One subscriber's trouble is not the others': the walk goes on.
            OVLog("A device command subscriber failed: %@", OVException::describe(std::current_exception()));
        }
    }
}

void OVDeviceCommandNotifyer::notifyGotBatteryLevelForDevice(const std::shared_ptr<OVDeviceInfo>& device,
                                                             int level) {
    notifyAll([&](OVDeviceCommandDelegate& d) { d.onGetBatteryLevelCompleted(device, level); });
}

void OVDeviceCommandNotifyer::notifySetClockForDeviceCompleted(const std::shared_ptr<OVDeviceInfo>& device,
                                                               bool success) {
    notifyAll([&](OVDeviceCommandDelegate& d) { d.onSetClockForDeviceCompleted(device, success); });
}

void OVDeviceCommandNotifyer::notifyIdentifyDeviceCompleted(const std::shared_ptr<OVDeviceInfo>& device,
                                                            bool success) {
    notifyAll([&](OVDeviceCommandDelegate& d) { d.onIdentifyDeviceCompleted(device, success); });
}

void OVDeviceCommandNotifyer::notifyEraseDeviceCompleted(const std::shared_ptr<OVDeviceInfo>& device,
                                                         bool success) {
    notifyAll([&](OVDeviceCommandDelegate& d) { d.onEraseDeviceCompleted(device, success); });
}

void OVDeviceCommandNotifyer::notifyResetDeviceCompleted(const std::shared_ptr<OVDeviceInfo>& device,
                                                         bool success) {
    notifyAll([&](OVDeviceCommandDelegate& d) { d.onResetDeviceCompleted(device, success); });
}

void OVDeviceCommandNotifyer::notifyUpdateDeviceCompleted(const std::shared_ptr<OVDeviceInfo>& device,
                                                          bool success) {
    notifyAll([&](OVDeviceCommandDelegate& d) { d.onUpdateDeviceCompleted(device, success); });
}

void OVDeviceCommandNotifyer::notifyUpdateDeviceInProgress(const std::shared_ptr<OVDeviceInfo>& device,
                                                           double percentage) {
    notifyAll([&](OVDeviceCommandDelegate& d) { d.onUpdateDeviceInProgress(device, percentage); });
}

void OVDeviceCommandNotifyer::notifyGetSessionListForDeviceCompleted(
    const std::shared_ptr<OVDeviceInfo>& device, bool success,
    const std::optional<QList<std::shared_ptr<OVSession>>>& sessions) {
    notifyAll(
        [&](OVDeviceCommandDelegate& d) { d.onGetSessionListForDeviceCompleted(device, success, sessions); });
}

void OVDeviceCommandNotifyer::notifyAssignDefaultUser(const std::shared_ptr<OVDeviceInfo>& device,
                                                      bool success, quint64 userId) {
    notifyAll([&](OVDeviceCommandDelegate& d) { d.onAssignDefaultUser(device, success, userId); });
}

void OVDeviceCommandNotifyer::notifyGetDefaultUser(const std::shared_ptr<OVDeviceInfo>& device, bool success,
                                                   quint64 userId) {
    notifyAll([&](OVDeviceCommandDelegate& d) { d.onGetDefaultUser(device, success, userId); });
}

void OVDeviceCommandNotifyer::notifyRecoverDeviceCompleted(const std::shared_ptr<OrvaneUSBDevice>& device,
                                                           bool success) {
    notifyAll([&](OVDeviceCommandDelegate& d) { d.onRecoverDeviceCompleted(device, success); });
}

void OVDeviceCommandNotifyer::notifyRecoverDeviceInProgress(const std::shared_ptr<OrvaneUSBDevice>& device,
                                                            double percentage) {
    notifyAll([&](OVDeviceCommandDelegate& d) { d.onRecoverDeviceInProgress(device, percentage); });
}
