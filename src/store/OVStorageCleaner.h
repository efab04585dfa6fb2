#pragma once

#include "OVOperationQueue.h"
#include "OVSessionRepositoryProtocol.h"

#include <QPointer>
#include <QString>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>

/**
 * Removes session directories left behind when a session's record was removed while its pages
 * were not: a session directory with a "PAGES" entry and no "session.dat" is deleted whole.
 * Directories that have their record, device directories and plain files are never touched, but for
 * the temporary files of a record replace that a crash left in a session directory
 * ("session.dat.<random>", older than kStrayTemporaryAge).
 *
 * One shared instance for the process. startCleaning() and stopCleaning() run on the main thread,
 * where the hourly timer lives; each pass runs on the cleaner's own queue, one at a time.
 */
class OVStorageCleaner {
public:
    using RepositoryFactory = std::function<std::unique_ptr<OVSessionRepositoryProtocol>()>;

    /** A temporary record file younger than this may still be renamed into place; it is left alone. */
    static constexpr std::chrono::seconds kStrayTemporaryAge{3600};

    static OVStorageCleaner& sharedInstance();

    /** Starts the repeating timer and runs a first pass now; a second call only logs. Main thread. */
    void startCleaning();
    /** Stops the timer; a pass already queued still runs. Main thread. */
    void stopCleaning();
    /** Queues one pass and returns at once. Any thread. */
    void clean();
    /** One pass, on the calling thread. */
    void cleanInternal();

    bool isStarted() const { return m_started.load(); }
    /** The running timer, or null while stopped. Main thread. */
    const QTimer* timer() const { return m_timer.data(); }
    /** The queue that runs the passes (width 1). */
    OVOperationQueue& queue() { return m_queue; }

    /** Where each pass finds the store root; a new file repository by default. */
    void setRepositoryFactory(RepositoryFactory factory);
    /** Time between passes; an hour by default. Takes effect at the next startCleaning(). */
    void setInterval(std::chrono::milliseconds interval);

    OVStorageCleaner();
    ~OVStorageCleaner();
    OVStorageCleaner(const OVStorageCleaner&) = delete;
    OVStorageCleaner& operator=(const OVStorageCleaner&) = delete;

private:
    std::unique_ptr<OVSessionRepositoryProtocol> makeRepository() const;
    static void removeStrayTemporaries(const QString& sessionPath);

    OVOperationQueue m_queue;
    /** A child of the application object, so that it goes with the application if not stopped before. */
    QPointer<QTimer> m_timer;
    std::atomic<bool> m_started{false};
    mutable std::mutex m_mutex;
    RepositoryFactory m_repositoryFactory;
    std::chrono::milliseconds m_interval{std::chrono::hours(1)};
};
