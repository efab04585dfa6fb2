#include "OVSessionStorer.h"

#include "OVCommandGetSessionList.h"
#include "OVDataLookup.h"
#include "OVDeviceManagerProtocol.h"
#include "OVException.h"
#include "OVHelper.h"
#include "OVLogger.h"
#include "OVNotificationCenter.h"
#include "OVSessionFileRepository.h"
#include "OVSessionPageStorer.h"
#include "OVStorageCleaner.h"
#include "OrvaneDate.h"
#include "OrvaneSessionVerification.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QStringList>

#include <algorithm>
#include <thread>

namespace {

QString fetchListFailedMessage() {
    return QCoreApplication::translate(
        "OVSessionStorer",
        "Error in fetching data from the device. Please try to re-insert the device in the usb");
}

QString savePagesFailedMessage() {
    return QCoreApplication::translate(
        "OVSessionStorer", "Error occured during the saving of the sessions data pages in the local "
                           "storage. Please try to re-insert the device into the USB");
}

// 1 January 2100, 00:00 in the local calendar and time zone: the end of every list query.
OVDate endOfListWindow() {
    return OVDate::fromDateTime(QDateTime(QDate(2100, 1, 1), QTime(0, 0), Qt::LocalTime));
}

QString describe(const OVSessionList& sessions) {
    QStringList texts;
    for (const std::shared_ptr<OVSession>& session : sessions)
        texts.append(session->description());
    return QStringLiteral("(%1)").arg(texts.join(QStringLiteral(", ")));
}

} // namespace

OVSessionStorer::OVSessionStorer()
    : m_queue(std::make_shared<OVOperationQueue>(QStringLiteral("OVSessionFetcher queue"), 1)) {}

OVSessionStorer::~OVSessionStorer() {
    // Only a run still under way fails: a forced store that succeeded ended Fetched, and stays so.
    if (!m_runOver.load())
        failDownload(fetchListFailedMessage());
    OVLog("%@ dealloc",
          QStringLiteral("<OVSessionStorer: 0x%1>").arg(reinterpret_cast<quintptr>(this), 0, 16));
    // Destroying a queue waits for its operations; the last reference may be dropped on a page
    // storer's own thread, so a queue still holding work goes away on a thread of its own.
    if (m_queue->operationCount() > 0)
        std::thread([queue = std::move(m_queue)]() mutable { queue.reset(); }).detach();
}

std::shared_ptr<OrvaneCDCDevice> OVSessionStorer::usbDevice() const {
    std::lock_guard<std::mutex> lock(m_fieldsMutex);
    return m_usbDevice;
}

void OVSessionStorer::setUsbDevice(std::shared_ptr<OrvaneCDCDevice> device) {
    std::lock_guard<std::mutex> lock(m_fieldsMutex);
    m_usbDevice = std::move(device);
}

std::shared_ptr<OVDeviceInfo> OVSessionStorer::deviceInfo() const {
    std::lock_guard<std::mutex> lock(m_fieldsMutex);
    return m_deviceInfo;
}

void OVSessionStorer::setDeviceInfo(std::shared_ptr<OVDeviceInfo> deviceInfo) {
    std::lock_guard<std::mutex> lock(m_fieldsMutex);
    m_deviceInfo = std::move(deviceInfo);
}

std::shared_ptr<OVCommandFactoryProtocol> OVSessionStorer::commandFactory() const {
    std::lock_guard<std::mutex> lock(m_fieldsMutex);
    return m_commandFactory.lock();
}

void OVSessionStorer::setCommandFactory(std::weak_ptr<OVCommandFactoryProtocol> factory) {
    std::lock_guard<std::mutex> lock(m_fieldsMutex);
    m_commandFactory = std::move(factory);
}

QMap<OVDate, int> OVSessionStorer::storageInfoDic() const {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    return m_storageInfoDic;
}

OVSessionList OVSessionStorer::sessionsInDevice() const {
    std::lock_guard<std::mutex> lock(m_fieldsMutex);
    return m_sessionsInDevice;
}

QString OVSessionStorer::serial() const {
    const std::shared_ptr<OVDeviceInfo> info = deviceInfo();
    return info ? info->serial() : QString();
}

void OVSessionStorer::storeSessions() {
    const std::shared_ptr<OVDeviceInfo> info = deviceInfo();
    info->setFetchStatus(OVDeviceFetchStatusFetching);
    postFetchStatusChanged();
    m_listPending.store(true);
    m_sessionsUnsaved.store(false);

    const std::shared_ptr<OVCommandFactoryProtocol> factory = commandFactory();
    const std::shared_ptr<OVCommandGetSessionList> command =
        factory ? factory->createGetSessionListCommand(dateWithOrvaneTime(1), endOfListWindow()) : nullptr;
    if (!command) {
        OVLog("(%@)-Failed fetching session list", serial());
        failDownload(fetchListFailedMessage());
        return;
    }
    command->setDevice(usbDevice());
    command->setCommandDelegate(weak_from_this());
    command->setAllowRetry(true);
    command->setRetryNumber(kListRetries);
    command->execute();
}

void OVSessionStorer::onCommandExecuted(const std::shared_ptr<OVCommand>& command,
                                        const std::shared_ptr<OrvaneUSBDevice>& device, int status,
                                        const std::any& result) {
    (void)command;
    (void)device;
    OVLog("(%@)-onCommandExecuted (get list) begin", serial());
    m_receivedCallbackFromCommand.store(true);
    try {
        if (status == OVCommandStatusFailed) {
            OVLog("(%@)-Failed fetching session list", serial());
            failDownload(fetchListFailedMessage());
        } else if (status == OVCommandStatusSuccess) {
            handleSessionList(result.has_value() ? std::any_cast<OVSessionList>(result) : OVSessionList());
        }
    } catch (...) {
        const std::exception_ptr exception = std::current_exception();
        OVLog("(%@)-An exception occurred during session storer oncommandexecuted. Exception: %@, Stack: %@",
              serial(), OVException::describe(exception), OVException::callStackOf(exception));
        failDownload(fetchListFailedMessage());
    }
    OVLog("(%@)-onCommandExecuted (get list) end", serial());
}

void OVSessionStorer::handleSessionList(const OVSessionList& listed) {
    {
        std::lock_guard<std::mutex> lock(m_fieldsMutex);
        m_sessionsInDevice += listed;
    }
    const std::shared_ptr<OVDeviceInfo> info = deviceInfo();
    OVLog("(%@)-saveSessions begin", serial());
    saveSessions(sessionsInDevice());
    OVLog("(%@)-saveSessions end", serial());

    OVLog("(%@)-removeOldSessions begin", serial());
    m_statusInquirer.updateSessionsStatus(info->sessions());
    removeOldSessions();
    OVLog("(%@)-removeOldSessions end", serial());

    info->modifySessions([](OVSessionList& sessions) { OVHelper::sortSessionsDesc(sessions); });
    OVNotificationCenter::defaultCenter().post(OVNotificationName::OnSessionListChangedForDevice, info);

    std::lock_guard<std::recursive_mutex> lock(m_lock);
    m_listPending.store(false);
    if (storePages()) {
        OVLog("(%@)-storeSessionPages begin", serial());
        storeSessionPages(info->sessions());
        OVLog("(%@)-storeSessionPages end", serial());
    } else {
        checkCompletion();
    }
}

void OVSessionStorer::saveSessions(const OVSessionList& listed) {
    OVSessionFileRepository repository;
    for (const std::shared_ptr<OVSession>& session : listed) {
        if (!saveSession(session, repository))
            m_sessionsUnsaved.store(true);
    }
}

bool OVSessionStorer::saveSession(const std::shared_ptr<OVSession>& session,
                                  OVSessionRepositoryProtocol& repository) {
    OVDataLookup& lookup = OVDataLookup::sharedInstance();
    const bool userFound = lookup.findUserByIdAndWait(session->userId()).first.has_value();
    // The account's users are known and this one is not among them: the account may not see it.
    const bool hiddenUser = !userFound && lookup.areUsersLoaded();

    OVLog("(%@)-does session exist : [%@] begin", serial(), session);
    OVError error;
    const bool exists = repository.doesSessionExist(*session, &error);
    OVLog("(%@)-does session exist : [%@] end", serial(), session);
    OVLog("(%@)-Session exist? : [%i] [%@] end", serial(), exists ? 1 : 0, session);
    if (error.isSet()) {
        OVLog("(%@)-Error while checking for already existing session in the DB. Session: [%@]. Error: [%@]",
              serial(), session, error.fullDescription());
        return false;
    }
    const std::shared_ptr<OVDeviceInfo> info = deviceInfo();
    const OVDate start = session->start();
    if (exists) {
        // Read only for a session the list lacks: a device of thousands lists nearly all of them.
        const OVSessionList shown = info->sessions();
        const bool missing =
            !hiddenUser && std::none_of(shown.cbegin(), shown.cend(),
                                        [&start](const auto& s) { return s->start() == start; });
        const bool complete = missing && repository.doesSessionHaveAllData(*session, nullptr);
        info->modifySessions([&](OVSessionList& sessions) {
            if (hiddenUser) {
                sessions.removeIf([&](const std::shared_ptr<OVSession>& s) { return s->start() == start; });
                return;
            }
            bool listed = false;
            for (const std::shared_ptr<OVSession>& s : sessions) {
                if (s->start() == start) {
                    s->setOvSession(session->ovSession());
                    listed = true;
                }
            }
            // Stored by an earlier run but missing from the list (a refresh dropped at a sign-out, a
            // record written when the list was not): listed again, or it would never be uploaded. An
            // upload of a session the server already holds whole ends at once, as synced.
            if (!listed) {
                session->setSyncStatus(complete ? OVSessionSyncStatusReadyToSync
                                                : OVSessionSyncStatusStoringFailed);
                sessions.append(session);
            }
        });
        return true;
    }
    if (hiddenUser)
        return true;
    OVLog("(%@)-add session : [%@] begin", serial(), session);
    repository.addSession(*session, &error);
    OVLog("(%@)-add session : [%@] end", serial(), session);
    if (!error.isSet()) {
        OVLog("(%@)-commit session : [%@] begin", serial(), session);
        repository.commit(&error);
        OVLog("(%@)-commit session : [%@] end", serial(), session);
    }
    if (error.isSet()) {
        OVLog("(%@)-Error while adding session to the DB. Session: [%@]. Error: [%@]", serial(), session,
              error.fullDescription());
        return false;
    }
    session->setSyncStatus(OVSessionSyncStatusStoringFailed);
    // Another run of this device (one that a replug or a Sync now left finishing) may have listed it
    // between the check above and now: the list keeps one entry per start, the one already shown.
    info->modifySessions([&session, &start](OVSessionList& sessions) {
        if (std::none_of(sessions.cbegin(), sessions.cend(),
                         [&start](const auto& s) { return s->start() == start; }))
            sessions.append(session);
    });
    return true;
}

void OVSessionStorer::removeOldSessions() {
    const OVSessionList inDevice = sessionsInDevice();
    OVDate cutoff = endOfListWindow();
    for (const std::shared_ptr<OVSession>& session : inDevice)
        cutoff = std::min(cutoff, session->start());

    const std::shared_ptr<OVDeviceInfo> info = deviceInfo();
    OVSessionList old;
    for (const std::shared_ptr<OVSession>& session : info->sessions()) {
        const int status = session->syncStatus();
        if (session->start() < cutoff &&
            (status == OVSessionSyncStatusSynced || status == OVSessionSyncStatusStoringFailed))
            old.append(session);
    }

    OVSessionFileRepository repository;
    for (const std::shared_ptr<OVSession>& session : old) {
        // Pages of a session the server does not hold are their only copy once the device dropped it:
        // without its record the store would forget them. It leaves this run's list all the same, as
        // the device can no longer complete it.
        if (session->syncStatus() != OVSessionSyncStatusSynced &&
            repository.getLastSavedPageNumberForSession(*session, nullptr)) {
            OVLog("(%@)-Keep session:[%@]: its pages are not on the server", serial(), session);
            continue;
        }
        OVLog("(%@)-Remove session:[%@] begin", serial(), session);
        OVError error;
        repository.removeSession(*session, &error);
        OVLog("(%@)-Remove session:[%@] end", serial(), session);
        if (error.isSet())
            OVLog("(%@)-Error occured during deleting of the session [%@]. Error: %@", serial(), session,
                  error.fullDescription());
    }
    OVLog("(%@)-Commit remove sessions begin", serial());
    OVError commitError;
    repository.commit(&commitError);
    OVLog("(%@)-Commit remove sessions end", serial());
    if (commitError.isSet()) {
        OVLog("(%@)-Error occured during commit of deleting of sessions. Error: %@", serial(),
              commitError.fullDescription());
    } else if (!old.isEmpty()) {
        OVLog("Removing sessions : %@", describe(old));
        info->modifySessions([&old](OVSessionList& sessions) {
            sessions.removeIf([&old](const std::shared_ptr<OVSession>& s) { return old.contains(s); });
        });
    }
    OVStorageCleaner::sharedInstance().clean();
}

void OVSessionStorer::storeSessionPages(const OVSessionList& sessions) {
    // Held until every page storer is queued, so that an early outcome cannot complete the run
    // while later sessions are still to be queued.
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    OVSessionList oldestFirst = sessions;
    std::stable_sort(oldestFirst.begin(), oldestFirst.end(),
                     [](const auto& a, const auto& b) { return a->start() < b->start(); });
    OVSessionFileRepository repository;
    bool queued = false;
    for (const std::shared_ptr<OVSession>& session : oldestFirst) {
        if (queuePageStorer(session, repository))
            queued = true;
    }
    // Sessions forced earlier in this run may already have their outcome, a failure among them.
    if (!queued)
        checkCompletion();
}

bool OVSessionStorer::queuePageStorer(const std::shared_ptr<OVSession>& session,
                                      OVSessionRepositoryProtocol& repository) {
    // Queued already by this run (forced before its list answered): one page storer per session.
    if (m_storageInfoDic.value(session->start(), 0) == -1)
        return true;
    const bool force = isForced(*session);
    if (session->isInSyncFinalState() && !force)
        return false;
    OVLog("(%@)-does session have all pages begin :  [%@]", serial(), session);
    OVError error;
    const bool complete = repository.doesSessionHaveAllData(*session, &error);
    OVLog("(%@)-does session have all pages end : [%@] ", serial(), session);
    OVLog("(%@)-session have all pages? : [%i] [%@] ", serial(), complete ? 1 : 0, session);
    if (error.isSet()) {
        OVLog("(%@)-Error in cheking if session have all session. Session:[%@]. Error:%@", serial(), session,
              error.fullDescription());
        return false;
    }
    // A session that once failed its CRC check keeps the flag; its data is still fetched when incomplete,
    // as the retry of that failure may have been cut short (device gone, service stopped).
    if (!force && (complete || session->isInSyncFinalState())) {
        if (!complete || heldDataPassesCrc(*session, repository)) {
            OVDeviceManagerProtocol* const mgr = deviceMgr();
            if (complete && syncAfterStoring() && mgr)
                mgr->syncSession(session, deviceInfo());
            return false;
        }
        // A page storer finds every page held, fails the check and fetches the session again.
        OVLog("(%@)-CRC check failed for the data held for session [%@]. Will store pages again", serial(),
              session);
    } else {
        OVLog("(%@)-session [%@] doesn't have all the pages in the DB. Will store pages", serial(), session);
    }
    auto pageStorer =
        std::make_shared<OVSessionPageStorer>(m_commandFactory, session, usbDevice(), deviceInfo());
    pageStorer->setPagePause(OVSessionPageStorer::systemPagePause());
    pageStorer->setOutcomeHandler([weak = weak_from_this(), session](bool stored) {
        if (const std::shared_ptr<OVSessionStorer> self = weak.lock())
            self->onSessionStored(session, stored);
    });
    m_storageInfoDic[session->start()] = -1;
    m_queue->addOperation(pageStorer);
    return true;
}

bool OVSessionStorer::heldDataPassesCrc(const OVSession& session, OVSessionRepositoryProtocol& repository) {
    // Data held in full was checked when its last page came, unless the service stopped between that
    // page and the end of the check, or between a failed check and the retry that deletes it: such
    // data would be uploaded unchecked, a corrupt page and all.
    return !OVSessionPageStorer::isVerifiedByCrc(session) ||
           OVSessionPageStorer::crcOfHeldData(session, repository, {}) == OrvaneSessionVerification::Intact;
}

bool OVSessionStorer::forceSession(const std::shared_ptr<OVSession>& session) {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (m_runOver.load() || !session)
        return false;
    if (!m_forcedStarts.contains(session->start()))
        m_forcedStarts.append(session->start());
    OVSessionFileRepository repository;
    queuePageStorer(session, repository);
    return true;
}

bool OVSessionStorer::isForced(const OVSession& session) const {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    return forceStoring() || m_forcedStarts.contains(session.start());
}

void OVSessionStorer::cancelStoring() {
    m_queue->cancelAllOperations();
}

void OVSessionStorer::onSessionStored(const std::shared_ptr<OVSession>& session, bool success) {
    const std::shared_ptr<OVDeviceInfo> info = deviceInfo();
    if (!info)
        return;
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    const OVDate start = session->start();
    if (m_storageInfoDic.value(start, 0) != -1)
        return;
    if (!success) {
        m_storageInfoDic[start] = 0;
        checkCompletion();
        return;
    }
    const OVSessionList sessions = info->sessions();
    const auto known = std::find_if(sessions.cbegin(), sessions.cend(),
                                    [&start](const auto& s) { return s->start() == start; });
    if (known != sessions.cend())
        m_statusInquirer.updateSessionsStatus({*known});
    m_storageInfoDic[start] = 1;
    checkCompletion();
    OVDeviceManagerProtocol* const mgr = deviceMgr();
    if (syncAfterStoring() && mgr) {
        if (isForced(*session))
            mgr->forceSyncSession(session, info);
        else
            mgr->syncSession(session, info);
    }
}

void OVSessionStorer::checkCompletion() {
    // A session forced before the list answered may be stored first; the run goes on with the list.
    if (m_listPending.load())
        return;
    const QList<int> outcomes = m_storageInfoDic.values();
    if (outcomes.contains(-1))
        return;
    // A session the store could not take (a full disk) is in no list: only the run's failure tells the
    // user that the device still holds something to download, and that it is not safe to erase.
    if (outcomes.contains(0) || m_sessionsUnsaved.load())
        failDownload(savePagesFailedMessage());
    else
        completeDownload();
}

void OVSessionStorer::failDownload(const QString& message) {
    // Under the lock, so that forceSession never adds to a run ending at the same moment.
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    m_runOver.store(true);
    // A replaced run failing (its list never answered) must not fail the run that replaced it.
    const std::shared_ptr<OVDeviceInfo> info = m_reportsEnded.load() ? nullptr : deviceInfo();
    if (info) {
        info->setFetchStatus(OVDeviceFetchStatusFetchFailed);
        info->setFetchErrorInformation(message);
        postFetchStatusChanged();
    }
}

void OVSessionStorer::completeDownload() {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    m_runOver.store(true);
    const std::shared_ptr<OVDeviceInfo> info = m_reportsEnded.load() ? nullptr : deviceInfo();
    if (info) {
        info->setFetchStatus(OVDeviceFetchStatusFetched);
        postFetchStatusChanged();
    }
}

void OVSessionStorer::postFetchStatusChanged() {
    OVNotificationCenter::defaultCenter().post(OVNotificationName::OnDeviceSessionFetchStatusChanged,
                                               deviceInfo());
}
