#include "OVDeviceSyncher.h"

#include "OVSessionSyncher.h"

#include <algorithm>
#include <cstdio>

QString OVDeviceSyncher::queueNameForSerial(const QString& serial) {
    return QStringLiteral("Device syncher queue for %1").arg(serial);
}

OVDeviceSyncher::OVDeviceSyncher(std::shared_ptr<OVDeviceInfo> deviceInfo)
    : m_deviceInfo(std::move(deviceInfo))
    , m_queue(queueNameForSerial(m_deviceInfo ? m_deviceInfo->serial() : QString()), 1) {}

OVDeviceSyncher::~OVDeviceSyncher() {
    OVNotificationCenter::defaultCenter().removeObserver(this);
    // The queue's destructor waits for the running session syncher. One waiting for chunk callbacks
    // on the main thread would wait for this very thread when destroyed there: end it at once.
    for (const auto& operation : m_queue.operations())
        if (const auto syncher = std::dynamic_pointer_cast<OVSessionSyncher>(operation))
            syncher->cancelNow();
    m_queue.cancelAllOperations();
    if (!m_syncDoneNotificationSent.exchange(true)) {
        m_isCurrentlySyncing.store(false);
        postDone();
    }
}

QString OVDeviceSyncher::getDeviceSerial() const {
    return m_deviceInfo ? m_deviceInfo->serial() : QString();
}

void OVDeviceSyncher::setService(OVServiceProtocol* service) {
    m_service.store(service);
}

OVServiceProtocol* OVDeviceSyncher::service() const {
    return m_service.load();
}

void OVDeviceSyncher::sync() {
    OVSessionList sessions = m_deviceInfo ? m_deviceInfo->sessions() : OVSessionList();
    std::stable_sort(sessions.begin(), sessions.end(),
                     [](const auto& a, const auto& b) { return a->start() < b->start(); });
    bool queued = false;
    for (const auto& session : sessions) {
        if (session->canSync()) {
            syncSessions(session);
            queued = true;
        }
    }
    if (!queued)
        notifySyncDoneIfNeeded();
}

void OVDeviceSyncher::syncSessions(const std::shared_ptr<OVSession>& session, bool forceSync) {
    m_syncCancelled.store(false);
    if (!session || !(forceSync || session->canSync()))
        return;
    notifySyncStartIfNeeded();
    auto syncher = std::make_shared<OVSessionSyncher>(service(), session);
    m_queue.addOperation(syncher);
}

void OVDeviceSyncher::cancelSync() {
    m_syncCancelled.store(true);
    m_queue.cancelAllOperations();
}

void OVDeviceSyncher::notifySyncStartIfNeeded() {
    if (m_isCurrentlySyncing.exchange(true))
        return;
    m_syncDoneNotificationSent.store(false);
    OVNotificationCenter::defaultCenter().post(OVNotificationName::OnDeviceSyncStart, selfAsObject());
    // Held weakly: a report on another thread must not reach a syncher being destroyed.
    std::weak_ptr<OVDeviceSyncher> weak = weak_from_this();
    OVNotificationCenter::defaultCenter().addObserver(this, OVNotificationName::OnSessionSyncStatusChanged,
                                                      [weak](const OVNotification& notification) {
                                                          if (const auto self = weak.lock())
                                                              self->onSessionSyncStatusChanged(notification);
                                                      });
}

void OVDeviceSyncher::onSessionSyncStatusChanged(const OVNotification& notification) {
    const auto session = notification.objectAs<OVSession>();
    if (!session || session->deviceSerial() != getDeviceSerial())
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (session->isInSyncFinalState())
        notifySyncDoneIfNeeded();
}

void OVDeviceSyncher::notifySyncDoneIfNeeded() {
    std::fprintf(stderr, "notifySyncDoneIfNeeded\n");
    if (m_queue.operationCount() > 0 && !m_syncCancelled.load())
        return;
    if (m_syncDoneNotificationSent.exchange(true))
        return;
    std::fprintf(stderr, "notifySyncDoneIfNeeded In\n");
    OVNotificationCenter::defaultCenter().removeObserver(this,
                                                         OVNotificationName::OnSessionSyncStatusChanged);
    m_isCurrentlySyncing.store(false);
    postDone();
}

void OVDeviceSyncher::postDone() {
    OVNotificationCenter::defaultCenter().post(OVNotificationName::OnDeviceSyncDone, selfAsObject());
}

std::shared_ptr<OVDeviceSyncher> OVDeviceSyncher::selfAsObject() {
    if (auto self = weak_from_this().lock())
        return self;
    // Being destroyed (or not owned by a shared_ptr): observers get a pointer valid during their call.
    return std::shared_ptr<OVDeviceSyncher>(std::shared_ptr<void>(), this);
}
