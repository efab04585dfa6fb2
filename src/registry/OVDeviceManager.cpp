#include "OVDeviceManager.h"

#include "OVBatteryPoll.h"
#include "OVCommandFactory.h"
#include "OVConfiguration.h"
#include "OVCredentialManagerProtocol.h"
#include "OVDeviceCommandExecutor.h"
#include "OVDeviceInformationManager.h"
#include "OVDeviceManagerCommandSubscriber.h"
#include "OVDeviceOperations.h"
#include "OVDeviceStorers.h"
#include "OVDeviceSyncher.h"
#include "OVHelper.h"
#include "OVHostReachability.h"
#include "OVInternetReachability.h"
#include "OVLogger.h"
#include "OVMainThread.h"
#include "OVNetworkClock.h"
#include "OVNotificationCenter.h"
#include "OVPreferencesManagerProtocol.h"
#include "OVReachabilityProbes.h"
#include "OVSessionFileRepository.h"
#include "OVSessionStatusInquirer.h"
#include "OVSessionStorer.h"
#include "OVSleepLock.h"
#include "OVSyslogSink.h"
#include "OrvaneUSBDeviceManager.h"

#include <thread>
#include <utility>

namespace {
using Lock = std::lock_guard<std::mutex>;

/** A line for the system log alone, as the operations that stop or start work on every device write. */
template <typename... Args> void systemLog(const char* format, const Args&... args) {
    OVSyslogSink::writeDirect(OVLogFormat::format(format, args...));
}
} // namespace

const QString OVDeviceManager::kErrorDomain = QStringLiteral("com.pellwick.deviceManager");

std::shared_ptr<OVDeviceManager> OVDeviceManager::create(OVServiceProtocol* service,
                                                         OVCredentialManagerProtocol* credMgr,
                                                         OVPreferencesManagerProtocol* prefMgr,
                                                         OrvaneUSBDeviceManager* library) {
    // Its battery timer and reachability probes belong to the main thread and can be stopped only
    // there: when a worker's task holds the last reference, the deletion moves to the main thread.
    std::shared_ptr<OVDeviceManager> manager(
        new OVDeviceManager(service, credMgr, prefMgr,
                            library ? library : &OrvaneUSBDeviceManager::sharedInstance()),
        [](OVDeviceManager* doomed) {
            if (OVMainThread::isMainThread())
                delete doomed;
            else
                OVMainThread::async([doomed] { delete doomed; });
        });
    manager->start();
    return manager;
}

OVDeviceManager::OVDeviceManager(OVServiceProtocol* service, OVCredentialManagerProtocol* credMgr,
                                 OVPreferencesManagerProtocol* prefMgr, OrvaneUSBDeviceManager* library)
    : m_service(service)
    , m_credMgr(credMgr)
    , m_prefMgr(prefMgr)
    , m_orvaneDeviceListener(library)
    , m_commandExecutor(std::make_shared<OVDeviceCommandExecutor>(&OVNetworkClock::getNetworkDateAsync))
    , m_commandFactory(std::make_shared<OVCommandFactory>())
    , m_operations(std::make_unique<OVDeviceOperations>(library, m_commandExecutor.get()))
    , m_batteryPoll(std::make_unique<OVBatteryPoll>(library, m_commandExecutor.get()))
    , m_reachability(std::make_unique<OVReachabilityProbes>())
    , m_storers(std::make_unique<OVDeviceStorers>())
    , m_sleepLock(std::make_unique<OVSleepLock>()) {}

void OVDeviceManager::start() {
    m_commandSubscriber = std::make_shared<OVDeviceManagerCommandSubscriber>(weak_from_this());
    m_commandExecutor->addDeviceCommandDelegate(m_commandSubscriber);

    OVNotificationCenter& center = OVNotificationCenter::defaultCenter();
    const std::weak_ptr<OVDeviceManager> weak = weak_from_this();
    const auto observe = [&](const QString& name, void (OVDeviceManager::*handler)(const OVNotification&)) {
        center.addObserver(this, name, [weak, handler](const OVNotification& notification) {
            if (const auto self = weak.lock())
                ((*self).*handler)(notification);
        });
    };
    observe(OVNotificationName::OnDeviceSessionFetchStatusChanged, &OVDeviceManager::onFetchStatusChanged);
    observe(OVNotificationName::OnSignIn, &OVDeviceManager::onSignIn);
    observe(OVNotificationName::OnSignOut, &OVDeviceManager::onSignOut);
    observe(OVNotificationName::kNetworkReachabilityChangedNotification,
            &OVDeviceManager::onReachabilityChanged);
    observe(OVNotificationName::OnDeviceSyncStart, &OVDeviceManager::onTransferChanged);
    observe(OVNotificationName::OnDeviceSyncDone, &OVDeviceManager::onTransferChanged);

    setReachabilityProbes(std::make_shared<OVInternetReachability>(),
                          OVHostReachability::reachabilityWithURL(OVConfiguration::serverUrl()));
    m_orvaneDeviceListener->setupKVOObserver(this);
}

OVDeviceManager::~OVDeviceManager() {
    OVNotificationCenter::defaultCenter().removeObserver(this);
    m_orvaneDeviceListener->unsetKVOObserver(this);
    m_reachability.reset();
    m_commandExecutor->removeDeviceCommandDelegate(m_commandSubscriber);
    m_batteryPoll.reset();
}

// ---- Registry ----

void OVDeviceManager::observeValueForKeyPath(const QString& keyPath, OrvaneUSBDeviceManager*) {
    const auto hids = m_orvaneDeviceListener->hidOrvanes();
    const auto cdcs = m_orvaneDeviceListener->cdcOrvanes();
    OVLog("(observeValueForKeyPath)-HID USB Devices in ovapi_macusb API count: %ld", hids.size());
    OVLog("(observeValueForKeyPath)-CDC USB Devices in ovapi_macusb API count: %ld", cdcs.size());
    for (const auto& cdc : cdcs)
        OVLog("(observeValueForKeyPath)-CDC (%@) LocationId = 0x%X", cdc->deviceInformations().serial,
              cdc->locationID());
    for (const auto& hid : hids)
        OVLog("(observeValueForKeyPath)-HID LocationId = 0x%X", hid->locationID());

    if (keyPath == QLatin1String("cdcOrvanes") || keyPath == QLatin1String("hidOrvanes")) {
        OVLog("USB notifies of device list changed");
        updateDeviceList();
    }
    updateSleepLock();
}

void OVDeviceManager::updateSleepLock() {
    // Held while any data-mode device is plugged in or anything transfers: two devices found together
    // at start-up, or an upload going on after the last unplug, must keep the computer awake too.
    onMainThread([](OVDeviceManager& self) {
        self.m_sleepLock->hold(!self.m_orvaneDeviceListener->cdcOrvanes().isEmpty() ||
                               self.isStoringSessions() || self.isSynching());
    });
}

void OVDeviceManager::updateDeviceList() {
    updateDeviceList(nullptr);
}

void OVDeviceManager::updateDeviceList(std::function<void(std::optional<OVError>)> completion) {
    if (!isSignedIn())
        return;
    bool firstRefresh = false;
    quint64 signIn = 0;
    {
        Lock lock(m_mutex);
        signIn = m_signIn;
        if (m_isUpdatingDeviceList.exchange(true)) {
            // A library report may start the first refresh before start-up asks for it; start-up's
            // completion must still hear of refused credentials, or the user is never signed out.
            if (completion && m_firstRefreshUnderWay)
                m_firstRefreshCompletions.push_back(std::move(completion));
            m_deviceListChangedMeanwhile = true;
            return;
        }
        firstRefresh = !m_deviceInfoMap.has_value();
        if (firstRefresh) {
            m_deviceInfoMap.emplace();
            m_firstRefreshUnderWay = true;
            if (completion)
                m_firstRefreshCompletions.push_back(std::move(completion));
        }
        if (!m_usbDeviceMap)
            m_usbDeviceMap.emplace();
    }
    if (!firstRefresh) {
        updateDeviceListInternal();
        endDeviceListUpdate();
        return;
    }
    const std::weak_ptr<OVDeviceManager> weak = weak_from_this();
    deviceInfoMgr()->getDeviceInformationsFromLocalStorage(
        [weak, signIn](std::optional<QList<std::shared_ptr<OVDeviceInfo>>> records,
                       std::optional<OVError> error) {
            if (const auto self = weak.lock())
                self->firstRefreshAnswered(signIn, records.value_or(QList<std::shared_ptr<OVDeviceInfo>>()),
                                           error);
        });
}

void OVDeviceManager::firstRefreshAnswered(quint64 signIn,
                                           const QList<std::shared_ptr<OVDeviceInfo>>& records,
                                           const std::optional<OVError>& error) {
    std::vector<std::function<void(std::optional<OVError>)>> completions;
    {
        Lock lock(m_mutex);
        // Asked for before a sign-out: the sign-in since has a first refresh of its own.
        if (signIn != m_signIn)
            return;
        m_firstRefreshUnderWay = false;
        completions.swap(m_firstRefreshCompletions);
    }
    if (error && error->isUnauthorized() && !completions.empty()) {
        for (const auto& completion : completions)
            completion(error);
        endDeviceListUpdate();
        return;
    }
    {
        Lock lock(m_mutex);
        // Signed out while the store was read: the records belong to nobody now.
        if (m_deviceInfoMap) {
            for (const auto& record : records)
                m_deviceInfoMap->insert(record->serial(), record);
        }
    }
    updateDeviceListInternal();
    // Runs here, off the main thread: the inquiry waits for the web API.
    for (const auto& record : records) {
        if (record->isConnected())
            continue;
        OVSessionStatusInquirer inquirer;
        inquirer.setService(service());
        inquirer.updateSessionsStatus(record->sessions());
    }
    sendWhatUnpluggedDevicesLeft(records);
    endDeviceListUpdate();
}

void OVDeviceManager::sendWhatUnpluggedDevicesLeft(const QList<std::shared_ptr<OVDeviceInfo>>& records) {
    OVPreferencesManagerProtocol* preferences = prefMgr();
    if (!preferences || !preferences->getAutoSync())
        return;
    // Sessions stored complete before the service stopped, of devices not plugged in now: their upload
    // needs only the store. Checked on the main thread, after the list work has marked the arrivals.
    onMainThread([records](OVDeviceManager& self) {
        for (const auto& record : records) {
            if (record->isConnected())
                continue;
            if (const auto syncher = self.syncherFor(record->serial()))
                syncher->sync();
        }
    });
}

void OVDeviceManager::endDeviceListUpdate() {
    bool again = false;
    {
        Lock lock(m_mutex);
        m_isUpdatingDeviceList.store(false);
        again = std::exchange(m_deviceListChangedMeanwhile, false);
    }
    // The report that came meanwhile was dropped; the list read before it may not hold its device (a
    // device plugged while start-up read the store stayed unseen until it was plugged again).
    if (again)
        updateDeviceListInternal();
}

void OVDeviceManager::updateDeviceListInternal() {
    const std::weak_ptr<OVDeviceManager> weak = weak_from_this();
    OVMainThread::async([weak] {
        if (const auto self = weak.lock())
            self->refreshDeviceList();
    });
}

void OVDeviceManager::refreshDeviceList() {
    const auto hids = m_orvaneDeviceListener->hidOrvanes();
    const auto cdcs = m_orvaneDeviceListener->cdcOrvanes();
    OVLog("updateDeviceList start");
    OVLog("HID USB Devices in ovapi_macusb API count: %ld", hids.size());
    OVLog("CDC USB Devices in ovapi_macusb API count: %ld", cdcs.size());
    bool tracking = false;
    {
        Lock lock(m_mutex);
        tracking = m_deviceInfoMap.has_value();
    }
    // Without the map (signed out since the refresh was asked) no device is tracked.
    if (tracking) {
        handleDepartures(cdcs);
        for (const auto& cdc : cdcs)
            handleArrival(cdc);
        handleRecoveryDevices(hids);
        ensureDeviceSynchers();
    }
    OVNotificationCenter::defaultCenter().post(OVNotificationName::OnDeviceListChanged);
    if (!cdcs.isEmpty())
        startBatteryTimer();
    else
        stopBatteryTimer();
    updateSleepLock();
    OVLog("updateDeviceList end");
}

void OVDeviceManager::handleDepartures(const QList<std::shared_ptr<OrvaneCDCDevice>>& cdcs) {
    QList<std::shared_ptr<OVDeviceInfo>> departed;
    for (const auto& record : getDevices()) {
        // Only a device that was connected leaves: uploads of records kept from earlier are not
        // cancelled by every later refresh. The library gives one object per attachment, so a device
        // whose attachment is no longer listed left, even when it came back between two refreshes
        // (a quick replug, a restart): it then arrives again, and is read and downloaded again.
        if (record->isConnected() && !cdcs.contains(attachmentOf(record->serial())))
            departed.append(record);
    }
    for (const auto& record : departed) {
        const QString serial = record->serial();
        record->setIsConnected(false);
        m_operations->noteDeparture(serial);
        // Its uploads go on: they read the store, not the device.
        if (const auto storer = m_storers->value(serial))
            storer->cancelStoring();
        Lock lock(m_mutex);
        if (m_usbDeviceMap)
            m_usbDeviceMap->remove(serial);
    }
}

void OVDeviceManager::handleArrival(const std::shared_ptr<OrvaneCDCDevice>& cdc) {
    const QString serial = cdc->deviceInformations().serial;
    const std::shared_ptr<OVDeviceInfo> existing = getDevice(serial);
    if (existing && existing->isConnected())
        return;
    const std::shared_ptr<OVDeviceInfo> fresh = OVDeviceInfo::buildDeviceInfoFromUSBDevice(*cdc);
    std::shared_ptr<OVDeviceInfo> record = existing;
    if (record)
        record->copyFrom(*fresh);
    else
        record = fresh;
    {
        Lock lock(m_mutex);
        if (!m_deviceInfoMap || !m_usbDeviceMap)
            return;
        m_usbDeviceMap->insert(serial, cdc);
        m_deviceInfoMap->insert(serial, record);
    }
    record->setIsConnected(true);

    m_commandExecutor->getBatteryCommandForDevice(cdc);
    m_commandExecutor->setClockCommandForDevice(cdc);
    m_commandExecutor->getDefaultUser(cdc);
    if (isSignedIn()) {
        OVPreferencesManagerProtocol* preferences = prefMgr();
        storeSessionsForDevice(record, preferences && preferences->getAutoStore(),
                               preferences && preferences->getAutoSync());
    }

    // The placeholder this device had while it was in recovery mode at the same port.
    {
        Lock lock(m_mutex);
        if (m_deviceInfoMap) {
            m_deviceInfoMap->removeIf([&](const auto& entry) {
                const auto& other = entry.value();
                return other != record && other->locationId() == record->locationId() &&
                       other->serial() != serial && other->isInRecovery();
            });
        }
    }
    record->setIsInRecovery(false);
}

void OVDeviceManager::handleRecoveryDevices(const QList<std::shared_ptr<OrvaneUSBDevice>>& hids) {
    for (const auto& hid : hids) {
        const int location = int(hid->locationID());
        std::shared_ptr<OVDeviceInfo> known;
        for (const auto& record : getDevices()) {
            if (record->locationId() == location && m_operations->isAtItsPortStill(*record)) {
                known = record;
                break;
            }
        }
        if (known) {
            known->setIsInRecovery(true);
            continue;
        }
        const std::shared_ptr<OVDeviceInfo> placeholder = OVDeviceInfo::buildDeviceInfoFromHIDDevice(*hid);
        {
            Lock lock(m_mutex);
            if (!m_deviceInfoMap)
                return;
            m_deviceInfoMap->insert(placeholder->serial(), placeholder);
        }
        recoverDevice(placeholder, firmwareFilePath(), nullptr);
        placeholder->setIsInRecovery(true);
    }
}

void OVDeviceManager::ensureDeviceSynchers() {
    QList<std::shared_ptr<OVDeviceInfo>> without;
    for (const auto& record : getDevices()) {
        if (!syncherFor(record->serial()))
            without.append(record);
    }
    for (const auto& record : without) {
        auto syncher = std::make_shared<OVDeviceSyncher>(record);
        syncher->setService(service());
        Lock lock(m_mutex);
        m_deviceSyncher.insert(record->serial(), syncher);
    }
}

QList<std::shared_ptr<OVDeviceInfo>> OVDeviceManager::getDevices() {
    Lock lock(m_mutex);
    return m_deviceInfoMap ? m_deviceInfoMap->values() : QList<std::shared_ptr<OVDeviceInfo>>();
}

std::shared_ptr<OVDeviceInfo> OVDeviceManager::getDevice(const QString& serial) {
    Lock lock(m_mutex);
    return m_deviceInfoMap ? m_deviceInfoMap->value(serial) : nullptr;
}

std::shared_ptr<OrvaneCDCDevice> OVDeviceManager::attachmentOf(const QString& serial) const {
    Lock lock(m_mutex);
    return m_usbDeviceMap ? m_usbDeviceMap->value(serial) : nullptr;
}

std::shared_ptr<OrvaneCDCDevice> OVDeviceManager::findUsbDevice(const std::shared_ptr<OVDeviceInfo>& device) {
    return m_operations->findUsbDevice(device);
}

bool OVDeviceManager::isSignedIn() const {
    OVCredentialManagerProtocol* credentials = credMgr();
    return credentials && credentials->isUserSignedIn();
}

// ---- Battery poll ----

void OVDeviceManager::startBatteryTimer() {
    onMainThread([](OVDeviceManager& self) { self.m_batteryPoll->start(); });
}

void OVDeviceManager::stopBatteryTimer() {
    m_batteryPoll->stop();
    // The timer lives on the main thread; a start queued after this stop keeps its new timer.
    onMainThread([](OVDeviceManager& self) { self.m_batteryPoll->dropTimerIfStopped(); });
}

bool OVDeviceManager::isBatteryTimerStarted() const {
    return m_batteryPoll->isStarted();
}

// ---- Device operations ----

bool OVDeviceManager::identifyDevice(const std::shared_ptr<OVDeviceInfo>& device, OVError* error) {
    return m_operations->identifyDevice(device, error);
}

bool OVDeviceManager::eraseDevice(const std::shared_ptr<OVDeviceInfo>& device, OVError* error) {
    return m_operations->eraseDevice(device, error);
}

bool OVDeviceManager::resetDevice(const std::shared_ptr<OVDeviceInfo>& device, OVError* error) {
    return m_operations->resetDevice(device, error);
}

bool OVDeviceManager::assignDefaultUserToDevice(const std::shared_ptr<OVDeviceInfo>& device, quint64 userId,
                                                OVError* error) {
    return m_operations->assignDefaultUserToDevice(device, userId, error);
}

bool OVDeviceManager::getDefaultUserForDevice(const std::shared_ptr<OVDeviceInfo>& device, OVError* error) {
    return m_operations->getDefaultUserForDevice(device, error);
}

bool OVDeviceManager::updateDevice(const std::shared_ptr<OVDeviceInfo>& device, const QString& firmwareFile,
                                   OVError* error) {
    return m_operations->updateDevice(device, firmwareFile, error);
}

bool OVDeviceManager::recoverDevice(const std::shared_ptr<OVDeviceInfo>& device, const QString& firmwareFile,
                                    OVError* error) {
    return m_operations->recoverDevice(device, firmwareFile, error);
}

bool OVDeviceManager::isDeviceRecovering(const std::shared_ptr<OVDeviceInfo>& device) {
    return m_operations->isDeviceRecovering(device);
}

void OVDeviceManager::setRecoveryRestartWindow(std::chrono::milliseconds window) {
    m_operations->setRecoveryRestartWindow(window);
}

void OVDeviceManager::subscribeToCommandNotification(
    const std::shared_ptr<OVDeviceCommandDelegate>& subscriber) {
    m_commandExecutor->addDeviceCommandDelegate(subscriber);
}

void OVDeviceManager::unSubscribeToCommandNotification(
    const std::shared_ptr<OVDeviceCommandDelegate>& subscriber) {
    m_commandExecutor->removeDeviceCommandDelegate(subscriber);
}

// ---- Storing and syncing ----

std::shared_ptr<OVSessionStorer> OVDeviceManager::makeStorer(const std::shared_ptr<OVDeviceInfo>& device,
                                                             const std::shared_ptr<OrvaneCDCDevice>& cdc) {
    auto storer = std::make_shared<OVSessionStorer>();
    storer->setCommandFactory(m_commandFactory);
    storer->setUsbDevice(cdc);
    storer->setDeviceInfo(device);
    storer->setService(service());
    storer->setDeviceMgr(this);
    return storer;
}

void OVDeviceManager::storeSessionsForDevice(const std::shared_ptr<OVDeviceInfo>& device, bool storePages,
                                             bool syncAfterStore) {
    const std::shared_ptr<OrvaneCDCDevice> cdc = findUsbDevice(device);
    if (!cdc) {
        OVLog("No device %@ found to store session", device ? device->serial() : QString());
        return;
    }
    const auto storer = makeStorer(device, cdc);
    if (storePages)
        storer->setStorePages(true);
    if (syncAfterStore)
        storer->setSyncAfterStoring(true);
    m_storers->put(device->serial(), storer);
    storer->storeSessions();
}

void OVDeviceManager::syncAllDevices() {
    systemLog("syncAllDevices");
    for (const auto& device : getDevices())
        syncDevice(device);
}

void OVDeviceManager::syncDevice(const std::shared_ptr<OVDeviceInfo>& device) {
    if (!device)
        return;
    OVSessionFileRepository repository;
    bool dataMissing = false;
    for (const auto& session : device->sessions()) {
        if (session->isInSyncFinalState())
            continue;
        if (!repository.doesSessionHaveAllData(*session, nullptr)) {
            dataMissing = true;
            break;
        }
    }
    if (dataMissing && findUsbDevice(device)) {
        storeSessionsForDevice(device, true, true);
        return;
    }
    const QString serial = device->serial();
    onMainThread([serial](OVDeviceManager& self) {
        if (const auto syncher = self.syncherFor(serial))
            syncher->sync();
    });
}

bool OVDeviceManager::syncDevice(const QString& serial, OVError* error) {
    const std::shared_ptr<OVDeviceInfo> device = getDevice(serial);
    if (!device) {
        OVLog("No device %@ found to sync", serial);
        OVError::set(error, OVDeviceOperations::notFoundError(serial));
        return false;
    }
    syncDevice(device);
    return true;
}

void OVDeviceManager::sync(const std::shared_ptr<OVDeviceInfo>& device) {
    syncDevice(device);
}

void OVDeviceManager::syncSession(const std::shared_ptr<OVSession>& session,
                                  const std::shared_ptr<OVDeviceInfo>& device) {
    if (const auto syncher = device ? syncherFor(device->serial()) : nullptr)
        syncher->syncSessions(session, false);
}

void OVDeviceManager::forceSyncSession(const std::shared_ptr<OVSession>& session,
                                       const std::shared_ptr<OVDeviceInfo>& device) {
    if (!session || !device)
        return;
    OVSessionFileRepository repository;
    if (repository.doesSessionHaveAllData(*session, nullptr)) {
        if (const auto syncher = syncherFor(device->serial()))
            syncher->syncSessions(session, true);
        return;
    }
    const std::shared_ptr<OrvaneCDCDevice> cdc = findUsbDevice(device);
    if (!cdc) {
        OVLog("No device %@ found to store session", device->serial());
        return;
    }
    // A download under way takes the session in: a second run beside it would replace it, and the
    // other sessions it was storing would be cancelled with it.
    const auto running = m_storers->value(device->serial());
    if (running && running->usbDevice() == cdc && running->forceSession(session))
        return;
    const auto storer = makeStorer(device, cdc);
    storer->setForceStoring(true);
    storer->setSyncAfterStoring(true);
    m_storers->put(device->serial(), storer);
    storer->storeSessionPages({session});
}

bool OVDeviceManager::forceSyncSession(const QString& serial, qint64 startSeconds, OVError* error) {
    const std::shared_ptr<OVDeviceInfo> device = getDevice(serial);
    const std::shared_ptr<OVSession> session = device ? device->sessionStartingAt(startSeconds) : nullptr;
    const bool stored = session && OVSessionFileRepository().doesSessionHaveAllData(*session, nullptr);
    if (!session || (!stored && !findUsbDevice(device))) {
        OVError::set(error, !device    ? OVDeviceOperations::notFoundError(serial)
                            : !session ? OVDeviceOperations::noSessionError(serial, startSeconds)
                                       : OVDeviceOperations::notStoredError(serial));
        return false;
    }
    OVLog("Sync now asked for session %@ of device %@", session, serial);
    forceSyncSession(session, device);
    return true;
}

void OVDeviceManager::cancelSync(const std::shared_ptr<OVDeviceInfo>& device) {
    if (const auto syncher = device ? syncherFor(device->serial()) : nullptr)
        syncher->cancelSync();
}

void OVDeviceManager::cancelStoring(const std::shared_ptr<OVDeviceInfo>& device) {
    if (const auto storer = device ? m_storers->value(device->serial()) : nullptr)
        storer->cancelStoring();
}

void OVDeviceManager::cancelAllSynchronization() {
    systemLog("cancelAllSynchronization");
    for (const auto& syncher : allSynchers())
        syncher->cancelSync();
}

void OVDeviceManager::cancelAllStoring() {
    systemLog("cancelAllStoring");
    for (const auto& storer : m_storers->values())
        storer->cancelStoring();
}

void OVDeviceManager::cancelAll() {
    cancelAllSynchronization();
    cancelAllStoring();
}

bool OVDeviceManager::isDeviceSynching(const std::shared_ptr<OVDeviceInfo>& device) {
    const auto syncher = device ? syncherFor(device->serial()) : nullptr;
    return syncher && syncher->isSynching();
}

bool OVDeviceManager::isSynching() {
    const auto synchers = allSynchers();
    return std::any_of(synchers.begin(), synchers.end(),
                       [](const auto& syncher) { return syncher->isSynching(); });
}

bool OVDeviceManager::isStoringSessionsForDevice(const std::shared_ptr<OVDeviceInfo>& device) {
    return device && m_storers->value(device->serial()) != nullptr;
}

bool OVDeviceManager::isStoringSessions() {
    return !m_storers->isEmpty();
}

// ---- Handlers ----

void OVDeviceManager::onGetBatteryLevelCompleted(const std::shared_ptr<OVDeviceInfo>& device, int level) {
    if (const auto record = connectedRecord(device))
        record->setBatteryLevel(level);
}

void OVDeviceManager::onGetDefaultUser(const std::shared_ptr<OVDeviceInfo>& device, bool success,
                                       quint64 userId) {
    const auto record = connectedRecord(device);
    if (success && record)
        record->setDefaultUserId(userId);
}

std::shared_ptr<OVDeviceInfo> OVDeviceManager::connectedRecord(const std::shared_ptr<OVDeviceInfo>& device) {
    // An answer that comes after the unplug (the failure of a command cut short) describes nothing
    // the record shows any more.
    const auto record = device ? getDevice(device->serial()) : nullptr;
    return record && record->isConnected() ? record : nullptr;
}

void OVDeviceManager::onEraseDeviceCompleted(const std::shared_ptr<OVDeviceInfo>& device, bool success) {
    const auto record = device ? getDevice(device->serial()) : nullptr;
    if (success && record)
        storeSessionsForDevice(record, false, false);
}

void OVDeviceManager::onRecoverDeviceCompleted(const std::shared_ptr<OrvaneUSBDevice>& device, bool) {
    m_operations->onRecoverDeviceCompleted(device);
}

void OVDeviceManager::onFetchStatusChanged(const OVNotification& notification) {
    const auto device = notification.objectAs<OVDeviceInfo>();
    if (!device)
        return;
    const int status = device->fetchStatus();
    if (status == OVDeviceFetchStatusFetching)
        return;
    m_storers->releaseIfOver(device->serial());
    updateSleepLock();
    if (status != OVDeviceFetchStatusFetched)
        OVLog("There was an error fetching sessions on device %@. Will not sync sessions", device->serial());
}

void OVDeviceManager::onTransferChanged(const OVNotification&) {
    updateSleepLock();
}

void OVDeviceManager::onSignIn(const OVNotification&) {
    updateDeviceList();
}

void OVDeviceManager::onSignOut(const OVNotification&) {
    stopBatteryTimer();
    cancelAllSynchronization();
    // A record search or creation under way would hold its syncher's end until the server answers.
    if (m_abortRequests)
        m_abortRequests();
    QHash<QString, std::shared_ptr<OVDeviceSyncher>> synchers;
    {
        Lock lock(m_mutex);
        m_deviceInfoMap.reset();
        m_usbDeviceMap.reset();
        // A refresh under way belongs to the account that left; the next sign-in starts its own.
        ++m_signIn;
        m_isUpdatingDeviceList.store(false);
        m_firstRefreshUnderWay = false;
        m_deviceListChangedMeanwhile = false;
        synchers.swap(m_deviceSyncher);
    }
    // Each waits for its cancelled queue to drain, which may take a request's time: on a thread of
    // their own, so that the main thread never waits on the network.
    if (!synchers.isEmpty())
        std::thread([synchers = std::move(synchers)]() mutable { synchers.clear(); }).detach();
}

void OVDeviceManager::onReachabilityChanged(const OVNotification&) {
    if (!m_reachability->bothReachable())
        return;
    for (const auto& device : getDevices()) {
        OVSessionList unknown;
        for (const auto& session : device->sessions()) {
            if (session->syncStatus() == OVSessionSyncStatusSyncFailed) {
                sync(device);
                break;
            }
            if (session->syncStatus() == OVSessionSyncStatusNone)
                unknown.append(session);
        }
        if (unknown.isEmpty())
            continue;
        OVSessionStatusInquirer inquirer;
        inquirer.setService(service());
        inquirer.updateSessionsStatusAsync(unknown, [] {});
    }
}

// ---- Helpers ----

void OVDeviceManager::setReachabilityProbes(std::shared_ptr<OVReachability> internetReach,
                                            std::shared_ptr<OVReachability> hostReach) {
    m_reachability->replace(std::move(internetReach), std::move(hostReach));
}

void OVDeviceManager::setFirmwareFilePath(const QString& path) {
    Lock lock(m_mutex);
    m_firmwareFilePath = path;
}

QString OVDeviceManager::firmwareFilePath() const {
    {
        Lock lock(m_mutex);
        if (!m_firmwareFilePath.isEmpty())
            return m_firmwareFilePath;
    }
    return OVHelper::getFirmwareFilePath();
}

void OVDeviceManager::onMainThread(std::function<void(OVDeviceManager&)> work) {
    if (OVMainThread::isMainThread()) {
        work(*this);
        return;
    }
    OVMainThread::async([weak = weak_from_this(), work = std::move(work)] {
        if (const auto self = weak.lock())
            work(*self);
    });
}

std::shared_ptr<OVDeviceSyncher> OVDeviceManager::syncherFor(const QString& serial) {
    Lock lock(m_mutex);
    return m_deviceSyncher.value(serial);
}

QList<std::shared_ptr<OVDeviceSyncher>> OVDeviceManager::allSynchers() {
    Lock lock(m_mutex);
    return m_deviceSyncher.values();
}

std::shared_ptr<OVDeviceInformationManager> OVDeviceManager::deviceInfoMgr() {
    Lock lock(m_mutex);
    if (!m_deviceInfoMgr) {
        m_deviceInfoMgr = std::make_shared<OVDeviceInformationManager>();
        m_deviceInfoMgr->setService(m_service.load());
    }
    return m_deviceInfoMgr;
}
