#pragma once

#include "OVService.h"

#include <QSet>

#include <condition_variable>
#include <mutex>

class QNetworkAccessManager;

/**
 * The web API client's exchanges under way, so that they can be ended at once: a sign-out or a quit
 * must not wait on a server that is slow or hung. The client makes one network access manager per
 * exchange through factory(); each lives on the thread that waits for its answer, and abortAll() ends
 * its replies there. Any thread; it must outlive the client it is given to.
 */
class OVInFlightRequests {
public:
    /** Makes the network access of every exchange; set it on the client before its first request. */
    OVService::NetworkAccessFactory factory();
    /** Ends every exchange under way with an "operation canceled" error. */
    void abortAll();
    static constexpr int kCloseWaitMs = 3000;

    /**
     * abortAll, and every later exchange fails at once: for the end of the process. Waits, up to
     * waitMs, for the exchanges under way to end: their aborts run on their own threads, and once
     * the application object is gone Qt delivers no event there, so an abort not yet run by then never
     * runs and the exchange holds the exit for good. False when some had not ended in time.
     */
    bool close(int waitMs = kCloseWaitMs);

private:
    class TrackedAccess;

    std::mutex m_mutex;
    std::condition_variable m_left;
    QSet<QNetworkAccessManager*> m_live;
    bool m_closed = false;
};
