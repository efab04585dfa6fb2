#include "SleepManager.h"

#include "OVLogger.h"
#include "OVLogindInhibitor.h"
#include "OVNotificationCenter.h"

#include <QDBusError>
#include <QThread>

#include <algorithm>

namespace {

void post(SleepManager* manager, const QString& name) {
    OVNotificationCenter::defaultCenter().post(name, std::any(manager));
}

} // namespace

SleepManager& SleepManager::sharedInstance() {
    // Never destroyed: the power thread may still report while the process exits, and the
    // process's end closes the inhibitor descriptors anyway.
    static SleepManager* instance = new SleepManager(QDBusConnection::systemBus());
    return *instance;
}

SleepManager::SleepManager(const QDBusConnection& bus) {
    if (!bus.isConnected()) {
        OVLog("No system bus (%@): sleep cannot be prevented", bus.lastError().message());
        return;
    }
    m_powerThread = std::make_unique<QThread>();
    m_powerThread->setObjectName(QStringLiteral("SleepManager power thread"));
    m_inhibitor = new OVLogindInhibitor(bus, [this](bool sleeping) { onPrepareForSleep(sleeping); });
    m_inhibitor->moveToThread(m_powerThread.get());
    m_powerThread->start();
    QMetaObject::invokeMethod(m_inhibitor, [inhibitor = m_inhibitor] { inhibitor->holdSleepDelay(); });
}

SleepManager::~SleepManager() {
    if (!m_powerThread)
        return;
    QMetaObject::invokeMethod(
        m_inhibitor, [inhibitor = m_inhibitor] { delete inhibitor; }, Qt::BlockingQueuedConnection);
    m_powerThread->quit();
    m_powerThread->wait();
}

bool SleepManager::preventIdleSleep() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_lockingItems.empty();
}

void SleepManager::registerToPreventSleep(const void* object) {
    size_t count = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (std::find(m_lockingItems.begin(), m_lockingItems.end(), object) == m_lockingItems.end()) {
            m_lockingItems.push_back(object);
            if (m_lockingItems.size() == 1)
                holdKeepAwake();
        }
        count = m_lockingItems.size();
    }
    OVLog("Object registered, we have %lu in the lock", static_cast<unsigned long>(count));
}

void SleepManager::unregisterToPreventSleep(const void* object) {
    size_t count = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = std::find(m_lockingItems.begin(), m_lockingItems.end(), object);
        if (it != m_lockingItems.end()) {
            m_lockingItems.erase(it);
            if (m_lockingItems.empty())
                releaseKeepAwake();
        }
        count = m_lockingItems.size();
    }
    OVLog("Object unregistered, we have %lu in the lock", static_cast<unsigned long>(count));
}

// The D-Bus calls run on the power thread, so a slow logind never holds up the caller. Edges are
// queued under the lock, so the power thread sees them in the order the list changed.
void SleepManager::holdKeepAwake() {
    if (!m_inhibitor)
        return;
    QMetaObject::invokeMethod(m_inhibitor, [inhibitor = m_inhibitor] {
        if (!inhibitor->holdKeepAwake())
            return;
        OVLog("Prevent Idle Sleep");
        OVLog("Prevent User Idle Sleep");
        OVLog("Prevent System Sleep");
    });
}

void SleepManager::releaseKeepAwake() {
    if (!m_inhibitor)
        return;
    QMetaObject::invokeMethod(m_inhibitor, [inhibitor = m_inhibitor] {
        if (!inhibitor->holdsKeepAwake())
            return;
        inhibitor->releaseKeepAwake();
        OVLog("Allow Idle Sleep");
        OVLog("Allow User Idle Sleep");
        OVLog("Allow Disk Idle");
    });
}

bool SleepManager::holdsKeepAwake() const {
    if (!m_inhibitor)
        return false;
    bool held = false;
    QMetaObject::invokeMethod(
        m_inhibitor, [&held, inhibitor = m_inhibitor] { held = inhibitor->holdsKeepAwake(); },
        Qt::BlockingQueuedConnection);
    return held;
}

void SleepManager::onPrepareForSleep(bool sleeping) {
    const QString willSleep = OVNotificationName::kSleepManagerSystemWillSleep;
    if (sleeping) {
        // The system is going down anyway (a block lock only stops polite requests); with transfers
        // under way the delay lock is kept, so logind waits its full delay before it suspends.
        if (preventIdleSleep()) {
            OVLog("%@ but want more time %i", willSleep, 1);
        } else {
            m_inhibitor->releaseSleepDelay();
            OVLog("%@ right away", willSleep);
        }
        post(this, willSleep);
        return;
    }
    OVLog("%@", OVNotificationName::kSleepManagerSystemWillPowerOn);
    post(this, OVNotificationName::kSleepManagerSystemWillPowerOn);
    OVLog("%@", OVNotificationName::kSleepManagerSystemHasPowerOn);
    post(this, OVNotificationName::kSleepManagerSystemHasPowerOn);
    m_inhibitor->holdSleepDelay();
}
