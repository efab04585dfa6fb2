#include "OVSessionPageStorer.h"

#include "OVCommandGetPage.h"
#include "OVException.h"
#include "OVHelper.h"
#include "OVLogger.h"
#include "OVNotificationCenter.h"
#include "OVPage.h"
#include "OVSessionFileRepository.h"
#include "OVSessionWriteClaims.h"
#include "OrvaneSessionVerification.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <chrono>
#include <thread>

const QString OVSessionPageStorer::kErrorDomain = QStringLiteral("com.pellwick.sessionpagestorer");
const QString OVSessionPageStorer::kDeviceCommandErrorDomain = QStringLiteral("com.pellwick.device.command");

namespace {

constexpr int kFetchRetries = 5;
constexpr std::chrono::milliseconds kNewerMacOSPagePause(5);
// The CRC result before any page was fed: an empty or missing data file fails.
constexpr int kNoDataCrcResult = -10;

// Whole-number percentage of done out of total, computed in single precision as the progress
// display always has been; clamped so that an odd count can never overflow the conversion.
int percentageOf(quint64 done, quint64 total) {
    if (total == 0)
        return 0;
    const float value = static_cast<float>(done) / static_cast<float>(total) * 100.0f;
    return static_cast<int>(std::clamp(value, 0.0f, 100.0f));
}

} // namespace

OVSessionPageStorer::OVSessionPageStorer(std::weak_ptr<OVCommandFactoryProtocol> commandFactory,
                                         std::shared_ptr<OVSession> session,
                                         std::shared_ptr<OrvaneCDCDevice> device,
                                         std::shared_ptr<OVDeviceInfo> deviceInfo)
    : m_commandFactory(std::move(commandFactory))
    , m_session(std::move(session))
    , m_device(std::move(device))
    , m_deviceInfo(std::move(deviceInfo)) {}

OVSessionPageStorer::~OVSessionPageStorer() = default;

std::chrono::milliseconds OVSessionPageStorer::systemPagePause() {
    return OVHelper::isOSXGreatherThan1011() ? kNewerMacOSPagePause : std::chrono::milliseconds(0);
}

std::shared_ptr<OVSessionRepositoryProtocol> OVSessionPageStorer::repo() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_repo;
}

void OVSessionPageStorer::setRepo(std::shared_ptr<OVSessionRepositoryProtocol> repo) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_repo = std::move(repo);
}

OVDate OVSessionPageStorer::startStoringDate() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_startStoringDate;
}

std::shared_ptr<OVSessionRepositoryProtocol> OVSessionPageStorer::ensureRepo() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_repo)
        m_repo = std::make_shared<OVSessionFileRepository>();
    return m_repo;
}

QString OVSessionPageStorer::serial() const {
    return m_session->deviceSerial();
}

quint64 OVSessionPageStorer::sessionPageTotal() const {
    return m_session->endPage() - m_session->startPage() + 1;
}

OVError OVSessionPageStorer::unexpectedExceptionError() const {
    return OVError(kErrorDomain, UnexpectedException,
                   QCoreApplication::translate(
                       "OVSessionPageStorer",
                       "An unexpected exception occurred during session PAGE storing. Please try again by "
                       "re-inserting the device in the USB"));
}

void OVSessionPageStorer::start() {
    if (isCancelled()) {
        complete(std::nullopt);
        return;
    }
    m_currentRetry.store(0);
    setExecuting(true);
    // The thread keeps the operation alive until its pass has handed over to the callbacks.
    auto self = std::static_pointer_cast<OVSessionPageStorer>(shared_from_this());
    std::thread([self] { self->claimAndRun(); }).detach();
}

void OVSessionPageStorer::claimAndRun() {
    const QString key = OVSessionWriteClaims::keyFor(serial(), m_session->start().secondsSince1970());
    // Given up only when cancelled, and main() then reports the cancellation.
    m_claimed.store(OVSessionWriteClaims::shared().claim(key, [this] { return isCancelled(); }));
    main();
}

void OVSessionPageStorer::main() {
    try {
        if (isCancelled()) {
            reportCancellation();
            return;
        }
        OVLog("(%@)-Session page storer main begin", serial());
        m_totalPageCount.store(0);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_startStoringDate = OVDate::now();
        }
        m_session->setSyncStatus(OVSessionSyncStatusStoring);
        postStatusChanged();
        const std::shared_ptr<OVSessionRepositoryProtocol> store = ensureRepo();

        OVLog("(%@)-getLastSavedPageNumberForSession begin", serial());
        OVError error;
        const std::optional<quint64> lastSaved = store->getLastSavedPageNumberForSession(*m_session, &error);
        const quint64 startPage = m_session->startPage();
        // Less than one whole page reads as startPage − 1, so this is 0 then (unsigned wrap-around).
        const quint64 held = lastSaved ? *lastSaved - startPage + 1 : 0;
        m_totalPageCount.store(held);

        if (isCancelled()) {
            reportCancellation();
            return;
        }
        OVLog("(%@)-getLastSavedPageNumberForSession end", serial());
        OVLog("(%@)-Last Saved Page Number [%i] [%@]", serial(), lastSaved, m_session);
        if (isCancelled()) {
            reportCancellation();
            return;
        }
        if (error.isSet()) {
            OVLog("(%@)-Error in getLastSavedPageNumberForSession. Error: %@", serial(),
                  error.fullDescription());
            complete(error);
            return;
        }
        // A data file holding more than the session can only fail the verification; fetching past
        // endPage would never reach it.
        if (held >= sessionPageTotal()) {
            OVLog("(%@)-All data pages already in the DB for session : [%@]", serial(), m_session);
            complete(std::nullopt);
            return;
        }
        const quint64 firstPage = lastSaved ? *lastSaved + 1 : startPage;
        if (lastSaved)
            OVLog("(%@)-Page [%@] was the last saved page for session [%@]", serial(), *lastSaved, m_session);
        OVLog("(%@)-Not all data pages are in the DB for session [%@]. Start fetching from page %ld",
              serial(), m_session, firstPage);
        if (isCancelled())
            reportCancellation();
        else
            fetchPage(firstPage);
        OVLog("(%@)-Session page storer main end", serial());
    } catch (...) {
        const std::exception_ptr exception = std::current_exception();
        OVLog("(%@)-An exception occurred during session PAGE storing main. Exception: %@, Stack: %@",
              serial(), OVException::describe(exception), OVException::callStackOf(exception));
        complete(unexpectedExceptionError());
    }
}

void OVSessionPageStorer::fetchPage(quint64 pageNumber) {
    if (m_pagePause.count() > 0)
        std::this_thread::sleep_for(m_pagePause);
    const std::shared_ptr<OVCommandFactoryProtocol> factory = m_commandFactory.lock();
    std::shared_ptr<OVCommandGetPage> command = factory ? factory->createGetPageCommand(pageNumber) : nullptr;
    if (!command) {
        // Without its factory the pass cannot go on; it ends as a failed read would.
        OVLog("(%@)-onCommandExecuted failed fetching page %ld", serial(), pageNumber);
        complete(
            OVError(kDeviceCommandErrorDomain, kFetchPageFailed,
                    QCoreApplication::translate("OVSessionPageStorer",
                                                "Sending command to device to fetch a page of data failed")));
        return;
    }
    command->setDevice(m_device);
    command->setAllowRetry(true);
    command->setRetryNumber(kFetchRetries);
    command->setCommandDelegate(std::static_pointer_cast<OVSessionPageStorer>(shared_from_this()));
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        // A cancel() since the last answer found no page awaited: this pass ends here instead.
        if (!isCancelled()) {
            m_pendingCommand = command;
            m_waitingForPage = true;
        }
    }
    if (isCancelled()) {
        reportCancellation();
        return;
    }
    command->execute();
}

void OVSessionPageStorer::cancel() {
    OVOperation::cancel();
    bool waiting = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        waiting = m_waitingForPage;
        m_waitingForPage = false;
    }
    // An answer arriving later is stale and dropped, so it cannot append to data another pass writes.
    // The end is reported from a thread of its own: the queue calls cancel() holding its lock, and
    // finishing reaches back into the queue.
    if (waiting) {
        auto self = std::static_pointer_cast<OVSessionPageStorer>(shared_from_this());
        std::thread([self] { self->reportCancellation(); }).detach();
    }
}

void OVSessionPageStorer::onCommandExecuted(const std::shared_ptr<OVCommand>& command,
                                            const std::shared_ptr<OrvaneUSBDevice>& /*device*/, int status,
                                            const std::any& result) {
    if (status != OVCommandStatusSuccess && status != OVCommandStatusFailed)
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_ended.load() || !command || !m_waitingForPage || m_pendingCommand.lock() != command)
            return;
        m_waitingForPage = false;
    }
    const auto getPage = std::dynamic_pointer_cast<OVCommandGetPage>(command);
    const quint64 pageNumber = getPage ? getPage->pageNumber() : 0;
    try {
        if (isCancelled()) {
            reportCancellation();
            return;
        }
        if (status == OVCommandStatusFailed) {
            OVLog("(%@)-onCommandExecuted failed fetching page %ld", serial(), pageNumber);
            complete(OVError(
                kDeviceCommandErrorDomain, kFetchPageFailed,
                QCoreApplication::translate("OVSessionPageStorer",
                                            "Sending command to device to fetch a page of data failed")));
            return;
        }
        const QByteArray bytes = std::any_cast<QByteArray>(result);
        m_totalPageCount.fetch_add(1);
        const OVPage page(pageNumber, bytes);
        OVError writeError;
        if (!appendPage(page.data(), &writeError)) {
            // The file system's own error (errno, path) tells the user what to free or fix.
            complete(writeError);
            return;
        }

        const int percentage = percentageOf(m_totalPageCount.load(), sessionPageTotal());
        if (percentage != m_session->percentage()) {
            m_session->setSyncStatus(OVSessionSyncStatusStoring);
            m_session->setPercentage(percentage);
            postStatusChanged();
        }
        // A page past endPage (an end before the start in a corrupt session list) ends the pass as
        // the last page would, rather than reading on through the rest of the device.
        if (pageNumber < m_session->endPage()) {
            fetchPage(pageNumber + 1);
            return;
        }
        OVLog("(%@)-Fetched last page", serial());
        OVError error;
        ensureRepo()->commit(&error);
        if (error.isSet()) {
            OVLog("(%@)-Error in commit (context, last page reached). Error %@", serial(),
                  error.fullDescription());
            complete(error);
            return;
        }
        OVLog("(%@)-Done saving all data pages for session : [%@]", serial(), m_session);
        OVLog("(%@)-Saving all data pages for session [%@] took : %@", serial(), m_session,
              OVHelper::formattedStringForDuration(OVDate::now().timeIntervalSince(startStoringDate())));
        complete(std::nullopt);
    } catch (...) {
        const std::exception_ptr exception = std::current_exception();
        OVLog(
            "(%@)-An exception occurred during session PAGE storing oncommandexecuted. Page: %ld. Exception: "
            "%@, Stack: %@",
            serial(), pageNumber, OVException::describe(exception), OVException::callStackOf(exception));
        complete(unexpectedExceptionError());
    }
}

bool OVSessionPageStorer::appendPage(const QByteArray& bytes, OVError* error) {
    if (!m_dataAppender)
        m_dataAppender = ensureRepo()->openSessionDataForAppending(*m_session, error);
    return m_dataAppender && m_dataAppender->append(bytes, error);
}

void OVSessionPageStorer::closeDataFile() {
    if (!m_dataAppender)
        return;
    OVError error;
    if (!m_dataAppender->close(&error))
        OVLog("%@", error.description());
    m_dataAppender.reset();
}

void OVSessionPageStorer::complete(const std::optional<OVError>& error) {
    closeDataFile();
    if (error) {
        fail(*error);
        return;
    }
    const bool byCrc = isVerifiedByCrc(*m_session);
    if (isCancelled()) {
        reportCancellation();
        return;
    }
    const std::shared_ptr<OVSessionRepositoryProtocol> store = ensureRepo();
    if (!byCrc) {
        OVError sizeError;
        const bool hasAllData = store->doesSessionHaveAllData(*m_session, &sizeError);
        if (isCancelled()) {
            reportCancellation();
            return;
        }
        if (sizeError.isSet()) {
            fail(sizeError);
            return;
        }
        if (hasAllData) {
            succeed();
            return;
        }
        OVLog("(%@)-Missing pages in the DB detected for session [%@]. Will fetch missing pages.", serial(),
              m_session);
        retry();
        return;
    }
    const bool passed = runCrcCheck();
    if (isCancelled()) {
        reportCancellation();
        return;
    }
    if (passed) {
        succeed();
        return;
    }
    m_session->setCrcCorruption(true);
    OVError updateError;
    store->updateSession(*m_session, &updateError);
    if (updateError.isSet())
        OVLog("%@", updateError.description());
    OVError copyError;
    if (!store->keepCorruptedCopy(*m_session, &copyError))
        OVLog("%@", copyError.description());
    retry();
}

bool OVSessionPageStorer::end() {
    if (m_ended.exchange(true))
        return false;
    if (m_claimed.exchange(false))
        OVSessionWriteClaims::shared().release(
            OVSessionWriteClaims::keyFor(serial(), m_session->start().secondsSince1970()));
    return true;
}

void OVSessionPageStorer::postOutcome(bool stored) {
    OVNotificationCenter::defaultCenter().post(stored ? OVNotificationName::OnSessionStoredSuccess
                                                      : OVNotificationName::OnSessionStoredFailed,
                                               m_session);
    if (m_outcomeHandler)
        m_outcomeHandler(stored);
}

void OVSessionPageStorer::succeed() {
    if (!end())
        return;
    setExecuting(false);
    setFinished(true);
    m_session->setSyncStatus(OVSessionSyncStatusStored);
    postStatusChanged();
    postOutcome(true);
}

void OVSessionPageStorer::reportCancellation() {
    if (!end())
        return;
    closeDataFile();
    OVLog("(%@)-STORE SESSION CANCELLED! %@.", serial(), m_session);
    m_session->setSyncStatus(OVSessionSyncStatusStoringCancelled);
    postStatusChanged();
    postOutcome(false);
    setExecuting(false);
    setFinished(true);
}

void OVSessionPageStorer::fail(const OVError& error) {
    if (!end())
        return;
    closeDataFile();
    OVLog("(%@)-Error in page storer. Error: %@", serial(), error.fullDescription());
    setExecuting(false);
    setFinished(true);
    m_session->setSyncStatus(OVSessionSyncStatusStoringFailed);
    postStatusChanged();
    postOutcome(false);
}

void OVSessionPageStorer::retry() {
    const std::shared_ptr<OVSessionRepositoryProtocol> store = ensureRepo();
    OVError error;
    store->deleteDataForSession(*m_session, &error);
    if (error.isSet()) {
        fail(error);
        return;
    }
    store->commit(&error);
    if (error.isSet()) {
        fail(error);
        return;
    }
    if (m_currentRetry.load() == 0) {
        m_currentRetry.store(1);
        main();
        return;
    }
    fail(OVError(kErrorDomain, CrcInvalid,
                 QCoreApplication::translate("OVSessionPageStorer", "CRC invalid.")));
}

bool OVSessionPageStorer::isVerifiedByCrc(const OVSession& session) {
    // A session without the device's record of it (stored in an earlier run and forced without a
    // new session list) has nothing for the CRC check to compare with: it is checked by size, so
    // complete local data that may be the only copy is not thrown away as corrupt.
    const QString firmwareRev = session.firmwareRev();
    return session.ovSession() != nullptr && firmwareRev.contains(QLatin1Char('.')) &&
           firmwareRev != QLatin1String("255.255.255");
}

int OVSessionPageStorer::crcOfHeldData(const OVSession& session, OVSessionRepositoryProtocol& repository,
                                       const std::function<void(quint64)>& onPage) {
    OrvaneSessionVerification verification;
    verification.setSession(session.ovSession());
    int result = kNoDataCrcResult;
    quint64 count = 0;
    // Data that cannot be read fails the check as empty data does.
    repository.readSessionData(
        session, OVPage::kPageSize,
        [&](const QByteArray& chunk) {
            result = verification.feedPage(chunk);
            if (onPage)
                onPage(++count);
        },
        nullptr);
    return result;
}

bool OVSessionPageStorer::runCrcCheck() {
    setCrcProgress(0);
    OVLog("(%@)-CRC check will start for session [%@]", serial(), m_session);
    QElapsedTimer timer;
    timer.start();
    const quint64 total = sessionPageTotal();
    const int result = crcOfHeldData(*m_session, *ensureRepo(),
                                     [&](quint64 count) { setCrcProgress(percentageOf(count, total)); });
    OVLog("(%@)-CRC value = [%i] for session [%@]", serial(), result, m_session);
    OVLog("(%@)-CRC check done for session [%@]. It took %f s", serial(), m_session,
          timer.nsecsElapsed() / 1e9);
    setCrcProgress(100);
    return result == OrvaneSessionVerification::Intact;
}

void OVSessionPageStorer::setCrcProgress(int percentage) {
    if (percentage == m_session->percentage())
        return;
    m_session->setSyncStatus(OVSessionSyncStatusCrcChecking);
    m_session->setPercentage(percentage);
    postStatusChanged();
}

void OVSessionPageStorer::postStatusChanged() {
    OVNotificationCenter::defaultCenter().post(OVNotificationName::OnSessionSyncStatusChanged, m_session);
}
