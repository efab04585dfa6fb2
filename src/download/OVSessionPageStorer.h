#pragma once

#include "OVCommandDelegate.h"
#include "OVCommandFactoryProtocol.h"
#include "OVDeviceInfo.h"
#include "OVError.h"
#include "OVOperation.h"
#include "OVSession.h"
#include "OVSessionRepositoryProtocol.h"
#include "OrvaneCDCDevice.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

/**
 * Downloads one session's pages from a device into the session data file, resuming after whatever
 * an earlier attempt left there, then verifies the data and reports the outcome. A concurrent
 * queued operation: start() runs the first pass on a thread of its own, and the page loop goes on
 * in the GetPage callbacks on the library's thread.
 *
 *   start ─► pass: last saved page L ─► GetPage L+1 ─► append ─► … ─► GetPage endPage ─► complete
 *                     (all held) ─────────────────────────────────────────────────────► complete
 *   complete: error ─► failed (status 7)
 *             verify by CRC (dotted firmware other than "255.255.255") or by size
 *               pass ─► stored (status 9, "OnSessionStoredSuccess")
 *               fail ─► (CRC: keep "session_data.dat.corrupted") delete data ─► second pass once,
 *                       then failed with "CRC invalid."
 *   cancelled at any check point ─► cancelled (status 10, "OnSessionStoredFailed")
 *
 * Every operation ends finished and posts exactly one of "OnSessionStoredSuccess" and
 * "OnSessionStoredFailed", with the session as object, then hands the same outcome to its outcome
 * handler. A pass holds the session's write claim (OVSessionWriteClaims) from its start to its end, so a
 * page storer of another run waits for it instead of appending beside it. All file work goes through the
 * repository: the data stays open for a pass (its appender), each page is appended with one seek and one
 * write, and the CRC check reads it back a page at a time; memory stays at one page whatever the session
 * size. Create with std::make_shared (the command callbacks reach it through a weak reference).
 */
class OVSessionPageStorer : public OVOperation, public OVCommandDelegate {
public:
    static const QString kErrorDomain;
    static const QString kDeviceCommandErrorDomain;
    enum ErrorCode : int { UnexpectedException = 1, CrcInvalid = 2 };
    /** Code of kDeviceCommandErrorDomain: a page could not be read. */
    static constexpr int kFetchPageFailed = 2;

    /** The factory is not owned and may go away; the other collaborators are shared. */
    OVSessionPageStorer(std::weak_ptr<OVCommandFactoryProtocol> commandFactory,
                        std::shared_ptr<OVSession> session, std::shared_ptr<OrvaneCDCDevice> device,
                        std::shared_ptr<OVDeviceInfo> deviceInfo);
    ~OVSessionPageStorer() override;

    bool isConcurrent() const override { return true; }
    /** Also ends a pass waiting for a page answer at once: a device that never answers must not hold its
     * queue. */
    void cancel() override;
    /** Called by the queue: reports a cancellation at once, or starts the first pass on a new thread. */
    void start() override;
    /** One storing pass; also re-entered, on the current thread, for the retry. */
    void main() override;
    /** The answer of a GetPage command; runs on the library's thread. */
    void onCommandExecuted(const std::shared_ptr<OVCommand>& command,
                           const std::shared_ptr<OrvaneUSBDevice>& device, int status,
                           const std::any& result) override;

    std::shared_ptr<OrvaneCDCDevice> device() const { return m_device; }
    std::shared_ptr<OVSession> session() const { return m_session; }
    std::shared_ptr<OVDeviceInfo> deviceInfo() const { return m_deviceInfo; }
    std::weak_ptr<OVCommandFactoryProtocol> commandFactory() const { return m_commandFactory; }
    /** The store; a new file repository is made by the first pass when none was set. */
    std::shared_ptr<OVSessionRepositoryProtocol> repo() const;
    void setRepo(std::shared_ptr<OVSessionRepositoryProtocol> repo);
    OVDate startStoringDate() const;
    /** The wait before each page request; none unless set. Set before the operation is queued. */
    void setPagePause(std::chrono::milliseconds pause) { m_pagePause = pause; }
    /** What this system needs between page requests: 5 ms on macOS 10.11 and later, else none. */
    static std::chrono::milliseconds systemPagePause();
    /** Whether a pass ends with the CRC check for this session (dotted firmware other than "255.255.255",
     * and the device's record of the session to compare with); others are checked by size. */
    static bool isVerifiedByCrc(const OVSession& session);
    /** The CRC check's result over the data held for the session, read a page at a time; onPage gets the
     * count of pages read. OrvaneSessionVerification::Intact passes. */
    static int crcOfHeldData(const OVSession& session, OVSessionRepositoryProtocol& repository,
                             const std::function<void(quint64)>& onPage);
    /** Told the outcome (true: stored) once, just after it is posted. Set before queuing; any thread. */
    void setOutcomeHandler(std::function<void(bool stored)> handler) {
        m_outcomeHandler = std::move(handler);
    }
    quint64 totalPageCount() const { return m_totalPageCount.load(); }
    int currentRetry() const { return m_currentRetry.load(); }

private:
    void fetchPage(quint64 pageNumber);
    /** Appends to the data file, opened on the first page of a pass; false with *error set. */
    bool appendPage(const QByteArray& bytes, OVError* error);
    void complete(const std::optional<OVError>& error);
    void succeed();
    void reportCancellation();
    void fail(const OVError& error);
    void retry();
    bool runCrcCheck();
    void setCrcProgress(int percentage);
    void postStatusChanged();
    void closeDataFile();
    /** Waits for the session's write claim, then runs the first pass; on the operation's own thread. */
    void claimAndRun();
    /** Marks the end once and gives the write claim back; false when the operation had already ended. */
    bool end();
    /** Posts the outcome, then hands it to the handler. */
    void postOutcome(bool stored);
    std::shared_ptr<OVSessionRepositoryProtocol> ensureRepo();
    quint64 sessionPageTotal() const;
    QString serial() const;
    OVError unexpectedExceptionError() const;

    const std::weak_ptr<OVCommandFactoryProtocol> m_commandFactory;
    const std::shared_ptr<OVSession> m_session;
    const std::shared_ptr<OrvaneCDCDevice> m_device;
    const std::shared_ptr<OVDeviceInfo> m_deviceInfo;

    mutable std::mutex m_mutex;
    std::shared_ptr<OVSessionRepositoryProtocol> m_repo;
    OVDate m_startStoringDate;
    /** The one GetPage whose answer the pass waits for; reports of any other command are stale. */
    std::weak_ptr<OVCommand> m_pendingCommand;
    /** Whether that answer is still awaited; the callback or cancel() that clears it goes on with the pass.
     */
    bool m_waitingForPage = false;

    /** The data open for the pass; used by one step at a time: the steps of an operation never overlap. */
    std::unique_ptr<OVSessionDataAppender> m_dataAppender;
    std::atomic<quint64> m_totalPageCount{0};
    std::atomic<int> m_currentRetry{0};
    std::atomic<bool> m_ended{false};
    /** Whether this operation holds its session's write claim. */
    std::atomic<bool> m_claimed{false};
    std::chrono::milliseconds m_pagePause{0};
    std::function<void(bool)> m_outcomeHandler;
};
