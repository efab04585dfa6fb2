#pragma once

#include "OVDeviceManagerProtocol.h"
#include "OVError.h"
#include "OrvaneKVOObserver.h"

#include <QHash>
#include <QList>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class OVBatteryPoll;
class OVCommandFactory;
class OVDeviceCommandExecutor;
class OVDeviceInfo;
class OVDeviceInformationManager;
class OVDeviceManagerCommandSubscriber;
class OVDeviceOperations;
class OVDeviceStorers;
class OVDeviceSyncher;
class OVReachability;
class OVReachabilityProbes;
class OVSession;
class OVSessionStorer;
class OVSleepLock;
class OrvaneCDCDevice;
class OrvaneUSBDevice;
class OrvaneUSBDeviceManager;
struct OVNotification;

/**
 * The registry of the devices the service knows, and everything done to them: it follows the
 * library's two device lists, keeps one record per serial (kept after the device leaves, until
 * sign-out), starts the first commands and the download of a device that arrives, owns the
 * download in progress and the upload owner of each device, and holds the sleep lock while any
 * data-mode device is connected or anything transfers.
 *
 * Threads: create, use and destroy it on the main thread; the list work and the battery timer run
 * there. Library reports, command reports and storer notifications arrive on other threads. Every
 * map is guarded by a lock that is never held while calling out (storers, synchers, executor,
 * notifications), so handlers on any thread may call back into the manager.
 */
class OVDeviceManager : public OVDeviceManagerProtocol,
                        public OrvaneKVOObserver,
                        public std::enable_shared_from_this<OVDeviceManager> {
public:
    static const QString kErrorDomain;

    /**
     * A started manager: subscribed to its executor, observing the notifications and the library
     * (not owned, must outlive it), with both reachability probes running. The collaborators
     * (not owned) must outlive the manager.
     */
    static std::shared_ptr<OVDeviceManager>
    create(OVServiceProtocol* service, OVCredentialManagerProtocol* credMgr,
           OVPreferencesManagerProtocol* prefMgr,
           OrvaneUSBDeviceManager* library = nullptr /* the shared instance */);
    ~OVDeviceManager() override;
    OVDeviceManager(const OVDeviceManager&) = delete;
    OVDeviceManager& operator=(const OVDeviceManager&) = delete;

    // Registry.
    void updateDeviceList(std::function<void(std::optional<OVError>)> completion) override;
    void updateDeviceList() override;
    /** A copy of every record, in no particular order. */
    QList<std::shared_ptr<OVDeviceInfo>> getDevices() override;
    /** The record under serial, or null. */
    std::shared_ptr<OVDeviceInfo> getDevice(const QString& serial);
    /** The library's data-mode device with the record's serial, looked up in its current list. */
    std::shared_ptr<OrvaneCDCDevice> findUsbDevice(const std::shared_ptr<OVDeviceInfo>& device);

    // Device operations: false with code 1 "Device %@ not found" when the device is not plugged in.
    bool identifyDevice(const std::shared_ptr<OVDeviceInfo>& device, OVError* error) override;
    bool eraseDevice(const std::shared_ptr<OVDeviceInfo>& device, OVError* error) override;
    bool resetDevice(const std::shared_ptr<OVDeviceInfo>& device, OVError* error) override;
    bool updateDevice(const std::shared_ptr<OVDeviceInfo>& device, const QString& firmwareFile,
                      OVError* error) override;
    bool recoverDevice(const std::shared_ptr<OVDeviceInfo>& device, const QString& firmwareFile,
                       OVError* error) override;
    bool assignDefaultUserToDevice(const std::shared_ptr<OVDeviceInfo>& device, quint64 userId,
                                   OVError* error) override;
    bool getDefaultUserForDevice(const std::shared_ptr<OVDeviceInfo>& device, OVError* error) override;
    void subscribeToCommandNotification(const std::shared_ptr<OVDeviceCommandDelegate>& subscriber) override;
    void
    unSubscribeToCommandNotification(const std::shared_ptr<OVDeviceCommandDelegate>& subscriber) override;

    // Storing and syncing.
    void syncAllDevices() override;
    /** Downloads what is missing first when the device is plugged in, else uploads what is stored. */
    void syncDevice(const std::shared_ptr<OVDeviceInfo>& device);
    /** syncDevice for the record under serial; false with code 1 when there is none. */
    bool syncDevice(const QString& serial, OVError* error);
    void sync(const std::shared_ptr<OVDeviceInfo>& device) override;
    void syncSession(const std::shared_ptr<OVSession>& session,
                     const std::shared_ptr<OVDeviceInfo>& device) override;
    void forceSyncSession(const std::shared_ptr<OVSession>& session,
                          const std::shared_ptr<OVDeviceInfo>& device) override;
    /**
     * The window's "Sync now" on the session of serial that starts in the whole second startSeconds;
     * false with the reason when there is no such session, or when its data is not all stored and the
     * device is not plugged in to download it.
     */
    bool forceSyncSession(const QString& serial, qint64 startSeconds, OVError* error);
    void storeSessionsForDevice(const std::shared_ptr<OVDeviceInfo>& device, bool storePages,
                                bool syncAfterStore);
    void cancelAll() override;
    void cancelSync(const std::shared_ptr<OVDeviceInfo>& device) override;
    void cancelStoring(const std::shared_ptr<OVDeviceInfo>& device) override;
    void cancelAllSynchronization();
    void cancelAllStoring();
    bool isDeviceSynching(const std::shared_ptr<OVDeviceInfo>& device) override;
    bool isSynching() override;
    bool isStoringSessionsForDevice(const std::shared_ptr<OVDeviceInfo>& device) override;
    bool isStoringSessions() override;
    bool isDeviceRecovering(const std::shared_ptr<OVDeviceInfo>& device) override;

    OVServiceProtocol* service() const override { return m_service.load(); }
    void setService(OVServiceProtocol* service) override { m_service.store(service); }
    OVCredentialManagerProtocol* credMgr() const override { return m_credMgr.load(); }
    void setCredMgr(OVCredentialManagerProtocol* credMgr) override { m_credMgr.store(credMgr); }
    OVPreferencesManagerProtocol* prefMgr() const override { return m_prefMgr.load(); }
    void setPrefMgr(OVPreferencesManagerProtocol* prefMgr) override { m_prefMgr.store(prefMgr); }

    /** Replaces both probes (stopping the old ones) and starts the new ones. */
    void setReachabilityProbes(std::shared_ptr<OVReachability> internetReach,
                               std::shared_ptr<OVReachability> hostReach);
    /** Ends the web API exchanges under way (OVInFlightRequests::abortAll); called at sign-out. Main thread.
     */
    void setRequestsAborter(std::function<void()> abort) { m_abortRequests = std::move(abort); }
    /** The shipped firmware image recoveries started by the registry write; default from OVHelper. */
    void setFirmwareFilePath(const QString& path);
    bool isBatteryTimerStarted() const;
    /** How soon after leaving data mode a device seen in recovery mode at its port is taken for it. */
    void setRecoveryRestartWindow(std::chrono::milliseconds window);

    /** The library's change report (OrvaneKVOObserver). */
    void observeValueForKeyPath(const QString& keyPath, OrvaneUSBDeviceManager* object) override;

private:
    friend class OVDeviceManagerCommandSubscriber;

    OVDeviceManager(OVServiceProtocol* service, OVCredentialManagerProtocol* credMgr,
                    OVPreferencesManagerProtocol* prefMgr, OrvaneUSBDeviceManager* library);
    void start();

    // List work (main thread).
    void updateDeviceListInternal();
    void endDeviceListUpdate();
    void refreshDeviceList();
    void handleDepartures(const QList<std::shared_ptr<OrvaneCDCDevice>>& cdcs);
    void handleArrival(const std::shared_ptr<OrvaneCDCDevice>& cdc);
    /** The attachment the device's arrival was handled for; null when none. */
    std::shared_ptr<OrvaneCDCDevice> attachmentOf(const QString& serial) const;
    void handleRecoveryDevices(const QList<std::shared_ptr<OrvaneUSBDevice>>& hids);
    void ensureDeviceSynchers();
    /** The registry's record of the device a command report names, when that device is connected. */
    std::shared_ptr<OVDeviceInfo> connectedRecord(const std::shared_ptr<OVDeviceInfo>& device);
    void firstRefreshAnswered(quint64 signIn, const QList<std::shared_ptr<OVDeviceInfo>>& records,
                              const std::optional<OVError>& error);
    bool isSignedIn() const;
    /** With Auto Sync, uploads what the stored records of devices not plugged in hold complete. */
    void sendWhatUnpluggedDevicesLeft(const QList<std::shared_ptr<OVDeviceInfo>>& records);

    // Sleep lock and battery poll.
    /** Takes or gives back the sleep lock as devices come and go and transfers start and end. */
    void updateSleepLock();
    void startBatteryTimer();
    void stopBatteryTimer();

    // Handlers.
    void onGetBatteryLevelCompleted(const std::shared_ptr<OVDeviceInfo>& device, int level);
    void onGetDefaultUser(const std::shared_ptr<OVDeviceInfo>& device, bool success, quint64 userId);
    void onEraseDeviceCompleted(const std::shared_ptr<OVDeviceInfo>& device, bool success);
    void onRecoverDeviceCompleted(const std::shared_ptr<OrvaneUSBDevice>& device, bool success);
    void onFetchStatusChanged(const OVNotification& notification);
    void onTransferChanged(const OVNotification& notification);
    void onSignIn(const OVNotification& notification);
    void onSignOut(const OVNotification& notification);
    void onReachabilityChanged(const OVNotification& notification);

    std::shared_ptr<OVSessionStorer> makeStorer(const std::shared_ptr<OVDeviceInfo>& device,
                                                const std::shared_ptr<OrvaneCDCDevice>& cdc);
    /** Runs work now on the main thread, or queues it there while the manager lives. */
    void onMainThread(std::function<void(OVDeviceManager&)> work);
    QString firmwareFilePath() const;
    std::shared_ptr<OVDeviceSyncher> syncherFor(const QString& serial);
    QList<std::shared_ptr<OVDeviceSyncher>> allSynchers();
    std::shared_ptr<OVDeviceInformationManager> deviceInfoMgr();

    std::atomic<OVServiceProtocol*> m_service;
    std::atomic<OVCredentialManagerProtocol*> m_credMgr;
    std::atomic<OVPreferencesManagerProtocol*> m_prefMgr;
    /** The library (not owned); reports come on its notification thread. */
    OrvaneUSBDeviceManager* const m_orvaneDeviceListener;

    /** Guards every map below; never held while calling out. */
    mutable std::mutex m_mutex;
    /** Absent until the first refresh after sign-in, dropped at sign-out. */
    std::optional<QHash<QString, std::shared_ptr<OVDeviceInfo>>> m_deviceInfoMap;
    std::optional<QHash<QString, std::shared_ptr<OrvaneCDCDevice>>> m_usbDeviceMap;
    QHash<QString, std::shared_ptr<OVDeviceSyncher>> m_deviceSyncher;
    std::shared_ptr<OVDeviceInformationManager> m_deviceInfoMgr;
    QString m_firmwareFilePath;
    bool m_firstRefreshUnderWay = false;
    /** Counts sign-outs: a first refresh answered after one is dropped. */
    quint64 m_signIn = 0;
    /** Under m_mutex: a library report came while a refresh ran; that refresh runs once more at its end. */
    bool m_deviceListChangedMeanwhile = false;
    /** Every completion given since the first refresh started; called by it on refused credentials. */
    std::vector<std::function<void(std::optional<OVError>)>> m_firstRefreshCompletions;

    const std::shared_ptr<OVDeviceCommandExecutor> m_commandExecutor;
    const std::shared_ptr<OVCommandFactory> m_commandFactory;
    /** Owned; the device operations and the recoveries under way. */
    const std::unique_ptr<OVDeviceOperations> m_operations;
    /** Owned; the five-minute battery poll, on the main thread. */
    std::unique_ptr<OVBatteryPoll> m_batteryPoll;
    std::shared_ptr<OVDeviceManagerCommandSubscriber> m_commandSubscriber;
    /** Owned; stopped with the manager. */
    std::unique_ptr<OVReachabilityProbes> m_reachability;
    /** Owned; the download in progress of each device. */
    std::unique_ptr<OVDeviceStorers> m_storers;
    std::atomic<bool> m_isUpdatingDeviceList{false};
    /** Main thread only. */
    std::function<void()> m_abortRequests;
    /** Owned; used on the main thread only. */
    std::unique_ptr<OVSleepLock> m_sleepLock;
};
