#pragma once

#include "OVLogSink.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <QtGlobal>

/** The logger's serial delivery thread and its sinks, which it also ticks every tickInterval. */
class OVLoggerQueue {
public:
    static constexpr std::chrono::milliseconds kTickInterval{60 * 1000};

    explicit OVLoggerQueue(std::chrono::milliseconds tickInterval = kTickInterval);
    ~OVLoggerQueue();

    void enqueue(OVLogMessage message);
    void setSinks(std::vector<std::shared_ptr<OVLogSink>> sinks);
    void addSink(std::shared_ptr<OVLogSink> sink);
    std::vector<std::shared_ptr<OVLogSink>> sinks() const;
    void flush();
    /**
     * Waits, up to limit, for every line enqueued so far to reach the sinks, taking no lock: safe
     * in a signal handler and at exit, whatever the interrupted thread held. False when the lines
     * did not all get through (or when called on the delivery thread, which cannot wait for itself).
     */
    bool drain(std::chrono::milliseconds limit) const;

private:
    void run();
    void tickSinks(std::unique_lock<std::mutex>& lock);

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_drained;
    std::deque<OVLogMessage> m_pending;
    std::vector<std::shared_ptr<OVLogSink>> m_sinks;
    bool m_busy = false;
    bool m_stop = false;
    const std::chrono::milliseconds m_tickInterval;
    /** Counts of lines enqueued and delivered, read by drain() without the lock. */
    std::atomic<quint64> m_enqueued{0};
    std::atomic<quint64> m_delivered{0};
    std::atomic<long> m_threadId{0};
    std::thread m_thread;
};
