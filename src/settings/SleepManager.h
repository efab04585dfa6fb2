#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <memory>
#include <mutex>
#include <vector>

class OVLogindInhibitor;
class QThread;

/**
 * Keeps the computer awake while any registrant is present. On Linux this is systemd-logind over
 * D-Bus: a "block" inhibitor for "sleep:idle" is held from the first registrant to the last (the
 * idle, user-idle and system keep-awake parts), and a "delay" inhibitor for sleep lets the manager
 * announce "kSleepManagerSystemWillSleep" before the system goes down. logind has no sleep query to
 * answer: the block inhibitor is that answer given in advance, and a sleep forced past it (by root,
 * or by a closed lid with no one to ask) cannot be refused; it is only reported, with more time
 * asked through the delay inhibitor while registrants are present.
 *
 * Without a bus it logs once and keeps the registrant bookkeeping alone. D-Bus work and the power
 * notifications run on a power thread of the manager's own; any thread may register and unregister.
 */
class SleepManager {
public:
    /** The process-wide instance, on the system bus. */
    static SleepManager& sharedInstance();

    /** A manager speaking to logind on this bus; a disconnected bus gives the bookkeeping alone. */
    explicit SleepManager(const QDBusConnection& bus);
    ~SleepManager();
    SleepManager(const SleepManager&) = delete;
    SleepManager& operator=(const SleepManager&) = delete;

    /** The registrant is compared by address and is not owned. */
    void registerToPreventSleep(const void* object);
    void unregisterToPreventSleep(const void* object);
    /** True while any registrant is present. */
    bool preventIdleSleep() const;
    /** Whether logind is reachable; false means registrants keep nothing awake. */
    bool hasBackend() const { return m_inhibitor != nullptr; }

    /** Whether the keep-awake lock is held now; waits for the power thread's pending work. */
    bool holdsKeepAwake() const;

    /** Called on the power thread when logind announces sleep (true) or wake (false). */
    void onPrepareForSleep(bool sleeping);

private:
    void holdKeepAwake();
    void releaseKeepAwake();

    mutable std::mutex m_mutex;
    std::vector<const void*> m_lockingItems;
    /** Owned; lives on m_powerThread, deleted there. Null without a bus. */
    OVLogindInhibitor* m_inhibitor = nullptr;
    std::unique_ptr<QThread> m_powerThread;
};
