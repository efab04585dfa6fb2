#include "OrvaneCallbackQueue.h"

#include <QtGlobal>

#include <pthread.h>

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>

// The thread holds the state too, so a queue destroyed by one of its own jobs ends cleanly.
struct OrvaneCallbackQueue::State {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> jobs;
    bool finishing = false;
    bool done = false;
};

OrvaneCallbackQueue::OrvaneCallbackQueue(const QString& name)
    : m_state(std::make_shared<State>()) {
    // Thread names are limited to 15 bytes; they make a debugger's thread list readable.
    const QByteArray threadName = name.left(15).toUtf8();
    m_thread = std::thread([state = m_state, threadName] {
        pthread_setname_np(pthread_self(), threadName.constData());
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock<std::mutex> lock(state->mutex);
                state->wake.wait(lock, [&] { return !state->jobs.empty() || state->finishing; });
                if (state->jobs.empty()) {
                    state->done = true;
                    return;
                }
                job = std::move(state->jobs.front());
                state->jobs.pop_front();
            }
            // A job that throws must not end the thread (and with it the process): the jobs
            // behind it are other requests' answers.
            try {
                job();
            } catch (const std::exception& e) {
                qWarning("ovapiusb: a library job threw: %s", e.what());
            } catch (...) {
                qWarning("ovapiusb: a library job threw");
            }
        }
    });
    m_threadId = m_thread.get_id();
}

OrvaneCallbackQueue::~OrvaneCallbackQueue() {
    finish();
    if (isCurrentThread())
        m_thread.detach();
    else
        m_thread.join();
}

void OrvaneCallbackQueue::post(std::function<void()> job) {
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        if (m_state->finishing)
            return;
        m_state->jobs.push_back(std::move(job));
    }
    m_state->wake.notify_one();
}

void OrvaneCallbackQueue::finish() {
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->finishing = true;
    }
    m_state->wake.notify_one();
}

bool OrvaneCallbackQueue::isDone() const {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->done;
}
