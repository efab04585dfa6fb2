#include "OVLoggerQueue.h"

#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

OVLoggerQueue::OVLoggerQueue(std::chrono::milliseconds tickInterval)
    : m_tickInterval(tickInterval)
    , m_thread([this] { run(); }) {}

OVLoggerQueue::~OVLoggerQueue() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void OVLoggerQueue::enqueue(OVLogMessage message) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pending.push_back(std::move(message));
        ++m_enqueued;
    }
    m_wake.notify_one();
}

void OVLoggerQueue::setSinks(std::vector<std::shared_ptr<OVLogSink>> sinks) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sinks = std::move(sinks);
}

void OVLoggerQueue::addSink(std::shared_ptr<OVLogSink> sink) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sinks.push_back(std::move(sink));
}

std::vector<std::shared_ptr<OVLogSink>> OVLoggerQueue::sinks() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sinks;
}

void OVLoggerQueue::flush() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_drained.wait(lock, [this] { return m_pending.empty() && !m_busy; });
}

bool OVLoggerQueue::drain(std::chrono::milliseconds limit) const {
    if (syscall(SYS_gettid) == m_threadId.load())
        return false;
    const quint64 target = m_enqueued.load();
    const timespec pause{0, 1000 * 1000};
    for (auto waited = std::chrono::milliseconds(0); m_delivered.load() < target; ++waited) {
        if (waited >= limit)
            return false;
        nanosleep(&pause, nullptr); // async-signal-safe, unlike every wait on a condition
    }
    return true;
}

void OVLoggerQueue::tickSinks(std::unique_lock<std::mutex>& lock) {
    const std::vector<std::shared_ptr<OVLogSink>> sinks = m_sinks;
    m_busy = true;
    lock.unlock();
    for (const auto& sink : sinks)
        sink->tick();
    lock.lock();
    m_busy = false;
    if (m_pending.empty())
        m_drained.notify_all();
}

void OVLoggerQueue::run() {
    m_threadId.store(syscall(SYS_gettid));
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        if (!m_wake.wait_for(lock, m_tickInterval, [this] { return m_stop || !m_pending.empty(); })) {
            tickSinks(lock);
            continue;
        }
        if (m_pending.empty() && m_stop)
            return;
        // Whatever has piled up is written as one batch, then each sink flushes once.
        std::deque<OVLogMessage> batch;
        batch.swap(m_pending);
        const std::vector<std::shared_ptr<OVLogSink>> sinks = m_sinks;
        m_busy = true;
        lock.unlock();
        for (const auto& sink : sinks) {
            for (const OVLogMessage& message : batch)
                sink->write(message);
            sink->flush();
        }
        m_delivered += batch.size();
        lock.lock();
        m_busy = false;
        if (m_pending.empty())
            m_drained.notify_all();
    }
}
