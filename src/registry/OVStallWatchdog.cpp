#include "OVStallWatchdog.h"

#include "OVDeviceInfo.h"
#include "OVDeviceManager.h"
#include "OVFileSystem.h"
#include "OVLogger.h"
#include "OVPreferencesManagerProtocol.h"
#include "OVSession.h"
#include "OVSessionFileRepository.h"
#include "OVSessionSyncStatus.h"
#include "OVSessionSyncher.h"

#include <algorithm>

OVStallWatchdog::OVStallWatchdog(OVDeviceManager* deviceMgr, QObject* parent)
    : QObject(parent)
    , m_deviceMgr(deviceMgr) {
    m_timer.setInterval(kTickMs);
    connect(&m_timer, &QTimer::timeout, this, &OVStallWatchdog::tick);
}

void OVStallWatchdog::configureFromEnvironment() {
    bool ok = false;
    const qint64 stall = qEnvironmentVariable("OV_STALL_SECONDS").toLongLong(&ok);
    if (ok && stall > 0)
        m_stallMs = stall * 1000;
    const qint64 backoff = qEnvironmentVariable("OV_STALL_BACKOFF_SECONDS").toLongLong(&ok);
    if (ok && backoff > 0)
        m_firstBackoffMs = backoff * 1000;
}

void OVStallWatchdog::start() {
    m_timer.start();
}

qint64 OVStallWatchdog::backoffMs(qint64 firstBackoffMs, int stallsInARow) {
    qint64 pause = firstBackoffMs;
    for (int i = 1; i < stallsInARow && pause < kMaximumBackoffMs; ++i)
        pause *= 2;
    return std::min(pause, std::max(kMaximumBackoffMs, firstBackoffMs));
}

std::optional<OVTransferProgress::Position>
OVStallWatchdog::positionOf(const std::shared_ptr<OVDeviceInfo>& device,
                            std::shared_ptr<OVSession>* active) const {
    const bool storing = m_deviceMgr->isStoringSessionsForDevice(device);
    const bool syncing = m_deviceMgr->isDeviceSynching(device);
    if (!storing && !syncing)
        return std::nullopt;
    OVSessionList sessions = device->sessions();
    std::sort(sessions.begin(), sessions.end(),
              [](const auto& a, const auto& b) { return a->start() < b->start(); });
    OVTransferProgress::Position position;
    for (int i = 0; i < sessions.size(); ++i) {
        const std::shared_ptr<OVSession>& session = sessions.at(i);
        const int status = session->syncStatus();
        const qint64 size = session->expectedDataSize();
        if (storing && (status == OVSessionSyncStatusStoring || status == OVSessionSyncStatusCrcChecking)) {
            position.index = i + 1;
            position.count = int(sessions.size());
            position.bytesTotal = size;
            if (status == OVSessionSyncStatusCrcChecking) {
                position.step = OVTransferProgress::Step::Verifying;
                position.bytesDone = size * session->percentage() / 100;
            } else {
                // The data file's size moves with every page, where the percentage moves with every 1%.
                OVSessionFileRepository repository;
                position.step = OVTransferProgress::Step::Downloading;
                position.bytesDone =
                    OVFileSystem::fileSize(repository.getSessionDataFilePath(*session, nullptr));
            }
            position.bytesMoved = position.bytesDone;
            *active = session;
            return position;
        }
        if (syncing && (status == OVSessionSyncStatusSyncStarted || status == OVSessionSyncStatusSyncing)) {
            position.step = OVTransferProgress::Step::Uploading;
            position.bytesTotal = size;
            // Counted as the bytes go, not by the percentage: 1% of a long session is minutes of a
            // slow uplink. Bytes sent again (a refused chunk) move the count, not the position.
            position.bytesMoved = session->transferredBytes();
            position.bytesDone = std::min(position.bytesMoved, size);
            position.count = int((size + OVSessionSyncher::kChunkSize - 1) / OVSessionSyncher::kChunkSize);
            position.index =
                int(std::min<qint64>(position.bytesDone / OVSessionSyncher::kChunkSize + 1, position.count));
            *active = session;
            return position;
        }
    }
    // Storing, but no session is downloading yet: the device is listing its sessions.
    position.step = storing ? OVTransferProgress::Step::Listing : OVTransferProgress::Step::Uploading;
    return position;
}

void OVStallWatchdog::tick() {
    for (const std::shared_ptr<OVDeviceInfo>& device : m_deviceMgr->getDevices()) {
        const QString serial = device->serial();
        if (m_restarting.value(serial))
            continue;
        std::shared_ptr<OVSession> active;
        const std::optional<OVTransferProgress::Position> position = positionOf(device, &active);
        if (!position) {
            m_progress.clear(serial);
            continue;
        }
        const std::optional<OVTransferProgress::Snapshot> before = m_progress.snapshot(serial);
        m_progress.report(serial, *position);
        if (before && position->bytesMoved > before->position.bytesMoved)
            m_stallsInARow.remove(serial);
        if (m_progress.markStalledAfter(serial, m_stallMs))
            handleStall(device, *position, active);
    }
    Q_EMIT progressUpdated();
}

void OVStallWatchdog::handleStall(const std::shared_ptr<OVDeviceInfo>& device,
                                  const OVTransferProgress::Position& position,
                                  const std::shared_ptr<OVSession>& active) {
    const QString serial = device->serial();
    const int stalls = m_stallsInARow.value(serial) + 1;
    m_stallsInARow.insert(serial, stalls);
    const qint64 pause = backoffMs(m_firstBackoffMs, stalls);
    const QString waitingFor = position.step == OVTransferProgress::Step::Uploading
                                   ? QStringLiteral("the server to take an upload chunk")
                               : position.step == OVTransferProgress::Step::Listing
                                   ? QStringLiteral("the device's session list")
                                   : QStringLiteral("a page from the device");
    OVLog("(%@)-Stalled: no progress for %i s while %@ (session %@); waiting for %@. Restarting in %i s",
          serial, int(m_stallMs / 1000), OVTransferProgress::stepName(position.step),
          active ? active->description() : QStringLiteral("none"), waitingFor, int(pause / 1000));
    if (position.step == OVTransferProgress::Step::Uploading)
        m_deviceMgr->cancelSync(device);
    else
        m_deviceMgr->cancelStoring(device);
    m_restarting.insert(serial, true);
    QTimer::singleShot(pause, this,
                       [this, serial, step = position.step, active] { restart(serial, step, active); });
}

void OVStallWatchdog::restart(const QString& serial, OVTransferProgress::Step step,
                              const std::shared_ptr<OVSession>& active) {
    m_restarting.remove(serial);
    m_progress.clear(serial);
    const std::shared_ptr<OVDeviceInfo> device = m_deviceMgr->getDevice(serial);
    if (!device)
        return;
    OVLog("(%@)-Restarting the stalled %@", serial, OVTransferProgress::stepName(step));
    // A restart does what the preferences allow, as the plug that started the transfer did: with
    // Auto Sync off only the upload a user asked for is sent again, and a download uploads nothing.
    OVPreferencesManagerProtocol* preferences = m_deviceMgr->prefMgr();
    const bool autoStore = preferences && preferences->getAutoStore();
    const bool autoSync = preferences && preferences->getAutoSync();
    if (step != OVTransferProgress::Step::Uploading) {
        if (device->isConnected())
            m_deviceMgr->storeSessionsForDevice(device, autoStore, autoSync);
    } else if (autoSync) {
        m_deviceMgr->syncDevice(device);
    } else if (active) {
        m_deviceMgr->forceSyncSession(active, device);
    }
}
