#pragma once

/**
 * The registry's reason to keep the computer awake, registered with the shared SleepManager while it
 * is held. Main thread only; destroying it gives the lock back, since a lock left behind by a
 * registry that is gone would keep the computer awake for good.
 */
class OVSleepLock {
public:
    OVSleepLock() = default;
    ~OVSleepLock();
    OVSleepLock(const OVSleepLock&) = delete;
    OVSleepLock& operator=(const OVSleepLock&) = delete;

    /** Takes the lock when wanted and not held, gives it back when held and not wanted. */
    void hold(bool wanted);
    bool isHeld() const { return m_held; }

private:
    void PreventFromSleep();
    void AllowToSleep();

    bool m_held = false;
};
