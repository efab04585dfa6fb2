#pragma once

#include "OVLogSink.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

/** The logger's serial delivery thread and its sinks. */
class OVLoggerQueue {
public:
    OVLoggerQueue();
    ~OVLoggerQueue();

    void enqueue(OVLogMessage message);
    void setSinks(std::vector<std::shared_ptr<OVLogSink>> sinks);
    void addSink(std::shared_ptr<OVLogSink> sink);
    std::vector<std::shared_ptr<OVLogSink>> sinks() const;
    void flush();

private:
    void run();

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_drained;
    std::deque<OVLogMessage> m_pending;
    std::vector<std::shared_ptr<OVLogSink>> m_sinks;
    bool m_busy = false;
    bool m_stop = false;
    std::thread m_thread;
};
