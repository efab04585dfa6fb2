#pragma once

#include <QString>

#include <any>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

/** The names of every notification the service posts. */
namespace OVNotificationName {
inline const QString OnSignIn = QStringLiteral("OnSignIn");
inline const QString OnSignOut = QStringLiteral("OnSignOut");
inline const QString OnDeviceListChanged = QStringLiteral("OnDeviceListChanged");
inline const QString OnDeviceSessionFetchStatusChanged = QStringLiteral("OnDeviceSessionFetchStatusChanged");
inline const QString OnSessionListChangedForDevice = QStringLiteral("OnSessionListChangedForDevice");
inline const QString OnSessionStoredSuccess = QStringLiteral("OnSessionStoredSuccess");
inline const QString OnSessionStoredFailed = QStringLiteral("OnSessionStoredFailed");
inline const QString OnSessionSyncStatusChanged = QStringLiteral("OnSessionSyncStatusChanged");
inline const QString OnDeviceSyncStart = QStringLiteral("OnDeviceSyncStart");
inline const QString OnDeviceSyncDone = QStringLiteral("OnDeviceSyncDone");
inline const QString kNetworkReachabilityChangedNotification =
    QStringLiteral("kNetworkReachabilityChangedNotification");
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
