#include "OVBatteryPoll.h"

#include "OVDeviceCommandExecutor.h"
#include "OrvaneUSBDeviceManager.h"

#include <chrono>

OVBatteryPoll::OVBatteryPoll(OrvaneUSBDeviceManager* library, OVDeviceCommandExecutor* executor)
    : m_library(library)
    , m_executor(executor) {}

void OVBatteryPoll::start() {
    if (m_started.load())
        return;
    m_timer = std::make_unique<QTimer>();
    QObject::connect(m_timer.get(), &QTimer::timeout, m_timer.get(), [this] { tick(); });
    m_timer->start(std::chrono::seconds(kIntervalSeconds));
    m_started.store(true);
}

void OVBatteryPoll::dropTimerIfStopped() {
    if (!m_started.load())
        m_timer.reset();
}

void OVBatteryPoll::tick() {
    for (const auto& cdc : m_library->cdcOrvanes())
        m_executor->getBatteryCommandForDevice(cdc);
}
