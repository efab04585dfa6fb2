#pragma once

#include "OVCommandDelegate.h"
#include "OVCommandFactoryProtocol.h"
#include "OVDate.h"
#include "OVDeviceInfo.h"
#include "OVOperationQueue.h"
#include "OVSession.h"
#include "OVSessionStatusInquirer.h"
#include "OrvaneCDCDevice.h"

#include <QList>
#include <QMap>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>

class OVDeviceManagerProtocol;
class OVSessionRepositoryProtocol;
struct OVNotification;

/**
 * Downloads every session of one connected device into the local store, for one run:
 *
 *   storeSessions ─► Fetching ─► GetSessionList ─► failed ─────────────────────────────► FetchFailed
 *                                      └─► save new sessions ─► refresh states ─► remove old ones
 *                                          ─► one page storer per incomplete session (queued, one at a time)
 *                                          ─► every outcome in: all succeeded ─► Fetched, else FetchFailed
 *
 * The device manager may instead call storeSessionPages with one session (forced store), or hand a
 * running run one more session to force (forceSession). Each stored session can be handed back to the
 * device manager for upload. Outcomes reach the run from its own page storers only (their outcome
 * handlers), never by matching a session's start, so an earlier run's page storers cannot end or fail
 * this one. Create with std::make_shared: the command and the page storers reach it through weak
 * references. Destroying a storer whose run has not ended (no list answer yet, or never started) fails
 * the download; a run that ended keeps its outcome.
 *
 * What happens to a run: an unplug cancels it (every page storer reports, FetchFailed); "Sync now" on
 * a session joins it (forceSession); a sign-out leaves it to end; a replug replaces it (endReports).
 */
class OVSessionStorer : public OVCommandDelegate, public std::enable_shared_from_this<OVSessionStorer> {
public:
    static constexpr int kListRetries = 5;

    OVSessionStorer();
    ~OVSessionStorer() override;
    OVSessionStorer(const OVSessionStorer&) = delete;
    OVSessionStorer& operator=(const OVSessionStorer&) = delete;

    /** A full run: Fetching, then the session-list command. */
    void storeSessions();
    /** Queues a page storer for each of these sessions that needs one; completes at once if none. */
    void storeSessionPages(const OVSessionList& sessions);
    /**
     * Adds a session to force to this run while it runs: its upload is forced once stored, and it is
     * queued now unless this run already queued it. False, changing nothing, once the run has ended.
     */
    bool forceSession(const std::shared_ptr<OVSession>& session);
    /** The run has ended: Fetched or FetchFailed was set (or would have been, after endReports). */
    bool isRunOver() const { return m_runOver.load(); }
    /** Cancels every queued page storer; each reports a failure, so the run ends FetchFailed. */
    void cancelStoring();
    /** The session-list answer; runs on the library's thread and blocks it for the user look-ups. */
    void onCommandExecuted(const std::shared_ptr<OVCommand>& command,
                           const std::shared_ptr<OrvaneUSBDevice>& device, int status,
                           const std::any& result) override;

    std::shared_ptr<OrvaneCDCDevice> usbDevice() const;
    void setUsbDevice(std::shared_ptr<OrvaneCDCDevice> device);
    std::shared_ptr<OVDeviceInfo> deviceInfo() const;
    void setDeviceInfo(std::shared_ptr<OVDeviceInfo> deviceInfo);
    /** Held weakly. */
    std::shared_ptr<OVCommandFactoryProtocol> commandFactory() const;
    void setCommandFactory(std::weak_ptr<OVCommandFactoryProtocol> factory);
    /** Not owned; outlives the storer. */
    OVDeviceManagerProtocol* deviceMgr() const { return m_deviceMgr.load(); }
    void setDeviceMgr(OVDeviceManagerProtocol* deviceMgr) { m_deviceMgr.store(deviceMgr); }
    /** Not owned; also handed to the status inquirer. */
    OVServiceProtocol* service() const { return m_statusInquirer.service(); }
    void setService(OVServiceProtocol* service) { m_statusInquirer.setService(service); }
    OVSessionStatusInquirer& statusInquirer() { return m_statusInquirer; }

    bool storePages() const { return m_storePages.load(); }
    void setStorePages(bool v) { m_storePages.store(v); }
    bool syncAfterStoring() const { return m_syncAfterStoring.load(); }
    void setSyncAfterStoring(bool v) { m_syncAfterStoring.store(v); }
    bool forceStoring() const { return m_forceStoring.load(); }
    void setForceStoring(bool v) { m_forceStoring.store(v); }

    /** Snapshot of the outcome of each queued page storer by session start: -1 running, 1 stored, 0 failed.
     */
    QMap<OVDate, int> storageInfoDic() const;
    /** Snapshot of the sessions the device listed in this run. */
    OVSessionList sessionsInDevice() const;
    /** "OVSessionFetcher queue", one page storer at a time. */
    OVOperationQueue& queue() { return *m_queue; }
    bool receivedCallbackFromCommand() const { return m_receivedCallbackFromCommand.load(); }
    /** A newer run for the same device took over: this one no longer sets or announces its fetch status. */
    void endReports() { m_reportsEnded.store(true); }

private:
    void handleSessionList(const OVSessionList& listed);
    void saveSessions(const OVSessionList& listed);
    /** False when the store could not take the session (it is then in no list). */
    bool saveSession(const std::shared_ptr<OVSession>& session, OVSessionRepositoryProtocol& repository);
    void removeOldSessions();
    bool queuePageStorer(const std::shared_ptr<OVSession>& session, OVSessionRepositoryProtocol& repository);
    /** True unless the session is checked by CRC and the data held for it fails the check. */
    static bool heldDataPassesCrc(const OVSession& session, OVSessionRepositoryProtocol& repository);
    void checkCompletion();
    void failDownload(const QString& message);
    void completeDownload();
    void onSessionStored(const std::shared_ptr<OVSession>& session, bool success);
    /** Whether this session's upload is forced: a forced store, or a session given to forceSession. */
    bool isForced(const OVSession& session) const;
    void postFetchStatusChanged();
    QString serial() const;

    mutable std::mutex m_fieldsMutex;
    std::shared_ptr<OrvaneCDCDevice> m_usbDevice;
    std::shared_ptr<OVDeviceInfo> m_deviceInfo;
    std::weak_ptr<OVCommandFactoryProtocol> m_commandFactory;
    OVSessionList m_sessionsInDevice;

    std::atomic<OVDeviceManagerProtocol*> m_deviceMgr{nullptr};
    OVSessionStatusInquirer m_statusInquirer;
    std::atomic<bool> m_storePages{false};
    std::atomic<bool> m_syncAfterStoring{false};
    std::atomic<bool> m_forceStoring{false};
    std::atomic<bool> m_receivedCallbackFromCommand{false};
    std::atomic<bool> m_reportsEnded{false};
    /** The list was asked for and its answer not yet handled: no page outcome may end the run before. */
    std::atomic<bool> m_listPending{false};
    std::atomic<bool> m_runOver{false};
    /** A listed session could not be written to the store: the run ends failed. */
    std::atomic<bool> m_sessionsUnsaved{false};

    /** The storer's lock: held while page storers are queued and while each outcome is handled. */
    mutable std::recursive_mutex m_lock;
    QMap<OVDate, int> m_storageInfoDic;
    /** Under m_lock: starts of the sessions given to forceSession. */
    QList<OVDate> m_forcedStarts;
    /** Shared so that destruction never waits for the page storers on the destroying thread. */
    std::shared_ptr<OVOperationQueue> m_queue;
};
