#pragma once

#include <QTimer>

#include <atomic>
#include <memory>

class OVDeviceCommandExecutor;
class OrvaneUSBDeviceManager;

/**
 * The registry's battery poll: every five minutes the executor asks each plugged-in data-mode device
 * for its battery level (the first level is read at arrival). start() and the timer run on the main
 * thread; stop() may be called from any thread.
 */
class OVBatteryPoll {
public:
    static constexpr int kIntervalSeconds = 300;

    /** Neither is owned; both outlive the poll. */
    OVBatteryPoll(OrvaneUSBDeviceManager* library, OVDeviceCommandExecutor* executor);

    /** Main thread: starts the repeating timer unless it runs. */
    void start();
    /** Marks the poll stopped at once, from any thread; dropTimerIfStopped then ends the timer. */
    void stop() { m_started.store(false); }
    /** Main thread: ends the timer unless a start came after the stop. */
    void dropTimerIfStopped();
    bool isStarted() const { return m_started.load(); }
    /** One poll of every plugged-in device. */
    void tick();

private:
    OrvaneUSBDeviceManager* const m_library;
    OVDeviceCommandExecutor* const m_executor;
    /** Main thread only. */
    std::unique_ptr<QTimer> m_timer;
    std::atomic<bool> m_started{false};
};
