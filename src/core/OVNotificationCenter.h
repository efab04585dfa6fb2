#pragma once

#include <QString>

#include <any>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

/*
 * The names of every notification the service posts, each with its object (what objectAs<T>() answers) and
 * the thread that posts it. Observers run on that thread: anything touching a window goes through
 * OVMainThread::async.
 */
namespace OVNotificationName {
/** No object. Main thread (the sign-in's answer is handed there). */
inline const QString OnSignIn = QStringLiteral("OnSignIn");
/** No object. Main thread. */
inline const QString OnSignOut = QStringLiteral("OnSignOut");
/** No object. Main thread (OVDeviceManager's list work). */
inline const QString OnDeviceListChanged = QStringLiteral("OnDeviceListChanged");
/** OVDeviceInfo. The session storer's threads: the device library's, or a page storer's own. */
inline const QString OnDeviceSessionFetchStatusChanged = QStringLiteral("OnDeviceSessionFetchStatusChanged");
/** OVDeviceInfo. The device library's thread that answered the session list. */
inline const QString OnSessionListChangedForDevice = QStringLiteral("OnSessionListChangedForDevice");
/** OVSession. The page storer's thread: the device library's, its own, or its queue's. */
inline const QString OnSessionStoredSuccess = QStringLiteral("OnSessionStoredSuccess");
/** OVSession. As OnSessionStoredSuccess. */
inline const QString OnSessionStoredFailed = QStringLiteral("OnSessionStoredFailed");
/** OVSession. Page storers' threads, session synchers' worker and main threads, and the status
 * inquirer's caller or background queue. */
inline const QString OnSessionSyncStatusChanged = QStringLiteral("OnSessionSyncStatusChanged");
/** OVDeviceSyncher. The thread that starts the device's sync. */
inline const QString OnDeviceSyncStart = QStringLiteral("OnDeviceSyncStart");
/** OVDeviceSyncher. The thread on which its last session ended, or the one that cancelled it. */
inline const QString OnDeviceSyncDone = QStringLiteral("OnDeviceSyncDone");
/** OVReachability (the system's network information or the host probe). Main thread. */
inline const QString kNetworkReachabilityChangedNotification =
    QStringLiteral("kNetworkReachabilityChangedNotification");
/** SleepManager*, a plain pointer. Main thread (logind's signal); the next two likewise. */
inline const QString kSleepManagerSystemWillSleep = QStringLiteral("kSleepManagerSystemWillSleep");
inline const QString kSleepManagerSystemHasPowerOn = QStringLiteral("kSleepManagerSystemHasPowerOn");
inline const QString kSleepManagerSystemWillPowerOn = QStringLiteral("kSleepManagerSystemWillPowerOn");
} // namespace OVNotificationName

/** A posted notification: its name and the affected record (a std::shared_ptr<T>, or empty). */
struct OVNotification {
    QString name;
    std::any object;

    /** The sender as T, or null when there is none or it is of another type. */
    template <typename T> std::shared_ptr<T> objectAs() const {
        if (const auto* p = std::any_cast<std::shared_ptr<T>>(&object))
            return *p;
        return nullptr;
    }
};

/**
 * Named notifications with a sender object. Observers register by name for any sender and are
 * removed by their owner token. post() calls the observers synchronously on the posting thread, in
 * the order they were added, without holding a lock: handlers may post, add or remove observers.
 * An observer removed before its turn in a running post is not called.
 */
class OVNotificationCenter {
public:
    using Handler = std::function<void(const OVNotification&)>;

    static OVNotificationCenter& defaultCenter();

    void addObserver(const void* owner, const QString& name, Handler handler);
    void removeObserver(const void* owner);
    void removeObserver(const void* owner, const QString& name);

    void post(const QString& name, std::any object = {});

    template <typename T> void post(const QString& name, const std::shared_ptr<T>& object) {
        post(name, std::any(object));
    }

    int observerCount() const;

private:
    struct Observer;
    mutable std::mutex m_mutex;
    std::vector<std::shared_ptr<Observer>> m_observers;
};
