#include "OVLoggerQueue.h"

OVLoggerQueue::OVLoggerQueue()
    : m_thread([this] { run(); }) {}

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

void OVLoggerQueue::run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || !m_pending.empty(); });
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
        lock.lock();
        m_busy = false;
        if (m_pending.empty())
            m_drained.notify_all();
    }
}
