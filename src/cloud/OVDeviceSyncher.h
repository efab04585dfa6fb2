#pragma once

#include "OVDeviceInfo.h"
#include "OVNotificationCenter.h"
#include "OVOperationQueue.h"
#include "OVServiceProtocol.h"
#include "OVSession.h"

#include <QString>

#include <atomic>
#include <memory>
#include <mutex>

/**
 * Owns the upload of one device's sessions: one session syncher per session on a private queue that
 * runs one at a time, oldest session first. A sync run begins with the first session queued
 * ("OnDeviceSyncStart") and ends when a session reaches a final state with nothing left in the queue,
 * or after a cancellation ("OnDeviceSyncDone"); both carry the device syncher as object. Exactly one
 * "OnDeviceSyncDone" ends each run, also when the syncher is destroyed mid-run.
 *
 * Create with std::make_shared. Any thread may call it. Destroy it from outside its queue: the
 * destructor cancels the queue and waits for it to drain.
 */
class OVDeviceSyncher : public std::enable_shared_from_this<OVDeviceSyncher> {
public:
    /** "Device syncher queue for %@" with the serial. */
    static QString queueNameForSerial(const QString& serial);

    explicit OVDeviceSyncher(std::shared_ptr<OVDeviceInfo> deviceInfo);
    ~OVDeviceSyncher();
    OVDeviceSyncher(const OVDeviceSyncher&) = delete;
    OVDeviceSyncher& operator=(const OVDeviceSyncher&) = delete;

    /** Queues every session that can sync, oldest first; with none, ends the run (see above). */
    void sync();
    void syncSessions(const std::shared_ptr<OVSession>& session, bool forceSync = false);
    void cancelSync();
    bool isSynching() const { return m_isCurrentlySyncing.load(); }
    QString getDeviceSerial() const;

    void onSessionSyncStatusChanged(const OVNotification& notification);
    void notifySyncStartIfNeeded();
    void notifySyncDoneIfNeeded();

    /** Not owned; handed to every session syncher. Set it before the first sync. */
    void setService(OVServiceProtocol* service);
    OVServiceProtocol* service() const;
    OVOperationQueue& queue() { return m_queue; }
    bool syncDoneNotificationSent() const { return m_syncDoneNotificationSent.load(); }
    bool syncCancelled() const { return m_syncCancelled.load(); }
    bool isCurrentlySyncing() const { return m_isCurrentlySyncing.load(); }
    std::shared_ptr<OVDeviceInfo> deviceInfo() const { return m_deviceInfo; }

private:
    /** The syncher as a notification's object; during destruction a non-owning pointer to it. */
    std::shared_ptr<OVDeviceSyncher> selfAsObject();
    void postDone();

    const std::shared_ptr<OVDeviceInfo> m_deviceInfo;
    std::atomic<OVServiceProtocol*> m_service{nullptr};
    /** Serialises the end-of-run check of sessions ending on different threads. */
    std::mutex m_mutex;
    std::atomic<bool> m_syncDoneNotificationSent{false};
    std::atomic<bool> m_syncCancelled{false};
    std::atomic<bool> m_isCurrentlySyncing{false};
    /** Declared last: destroyed first, so no running session syncher outlives the fields above. */
    OVOperationQueue m_queue;
};
