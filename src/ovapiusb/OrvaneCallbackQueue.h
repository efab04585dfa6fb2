#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <thread>

/**
 * One library thread running posted jobs in order: each device's answers and the change reports
 * are delivered on one of these, so a slow callback of one device never holds up another.
 */
class OrvaneCallbackQueue {
public:
    explicit OrvaneCallbackQueue(const QString& name);
    /** Finishes the queue and waits for its thread; on the queue's own thread it lets it end alone. */
    ~OrvaneCallbackQueue();
    OrvaneCallbackQueue(const OrvaneCallbackQueue&) = delete;
    OrvaneCallbackQueue& operator=(const OrvaneCallbackQueue&) = delete;

    /** Queues a job; ignored once finish() was called. */
    void post(std::function<void()> job);
    /** Takes no more jobs; the thread ends after running those queued. */
    void finish();
    /** The thread has run its last job. */
    bool isDone() const;
    bool isCurrentThread() const { return std::this_thread::get_id() == m_threadId; }

private:
    struct State;
    std::shared_ptr<State> m_state;
    std::thread m_thread;
    std::thread::id m_threadId;
};
