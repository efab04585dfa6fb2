#include "OVOperationQueue.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

// Workers are plain std::threads synchronised with std::mutex, so ThreadSanitizer sees every
// hand-over; an operation that needs an event loop (a synchronous web request) gets one on them too.
struct OVOperationQueue::State : std::enable_shared_from_this<OVOperationQueue::State> {
    QString name;
    int maxConcurrent = 1;
    mutable std::mutex mutex;
    std::condition_variable idle;
    std::condition_variable work;
    std::deque<std::shared_ptr<OVOperation>> pending;
    std::vector<std::shared_ptr<OVOperation>> running;
    std::deque<std::shared_ptr<OVOperation>> ready; // running, waiting for a worker to start them
    std::vector<std::thread> workers;
    int idleWorkers = 0;
    bool stopping = false;

    // Called with the mutex held: starts what the width allows.
    void dispatchLocked() {
        while (!pending.empty() && static_cast<int>(running.size()) < maxConcurrent) {
            std::shared_ptr<OVOperation> op = pending.front();
            pending.pop_front();
            running.push_back(op);
            std::weak_ptr<State> weak = weak_from_this();
            OVOperation* raw = op.get();
            op->setFinishedHandler([weak, raw] {
                if (auto self = weak.lock())
                    self->operationFinished(raw);
            });
            ready.push_back(std::move(op));
            if (idleWorkers > 0)
                work.notify_one();
            else if (static_cast<int>(workers.size()) < maxConcurrent)
                workers.emplace_back([this] { workerLoop(); });
        }
        if (pending.empty() && running.empty())
            idle.notify_all();
    }

    void workerLoop() {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            ++idleWorkers;
            work.wait(lock, [this] { return stopping || !ready.empty(); });
            --idleWorkers;
            if (ready.empty())
                return;
            std::shared_ptr<OVOperation> op = std::move(ready.front());
            ready.pop_front();
            lock.unlock();
            op->start();
            op.reset();
            lock.lock();
        }
    }

    void operationFinished(OVOperation* op) {
        std::lock_guard<std::mutex> lock(mutex);
        running.erase(
            std::remove_if(running.begin(), running.end(), [op](const auto& r) { return r.get() == op; }),
            running.end());
        dispatchLocked();
    }
};

OVOperationQueue::OVOperationQueue(const QString& name, int maxConcurrentOperationCount)
    : m_state(std::make_shared<State>()) {
    m_state->name = name;
    m_state->maxConcurrent = std::max(1, maxConcurrentOperationCount);
}

OVOperationQueue::~OVOperationQueue() {
    // Cancelled operations end at once (those not started yet are still started and report their
    // cancellation), so waiting for them is short; then the workers are joined.
    cancelAllOperations();
    waitUntilAllOperationsAreFinished();
    std::vector<std::thread> workers;
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->stopping = true;
        workers.swap(m_state->workers);
    }
    m_state->work.notify_all();
    for (auto& w : workers)
        w.join();
}

QString OVOperationQueue::name() const {
    return m_state->name;
}

int OVOperationQueue::maxConcurrentOperationCount() const {
    return m_state->maxConcurrent;
}

void OVOperationQueue::addOperation(std::shared_ptr<OVOperation> operation) {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->pending.push_back(std::move(operation));
    m_state->dispatchLocked();
}

void OVOperationQueue::addOperationWithBlock(std::function<void()> block) {
    addOperation(std::make_shared<OVBlockOperation>(std::move(block)));
}

void OVOperationQueue::cancelAllOperations() {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    for (const auto& op : m_state->running)
        op->cancel();
    for (const auto& op : m_state->pending)
        op->cancel();
}

int OVOperationQueue::operationCount() const {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return static_cast<int>(m_state->pending.size() + m_state->running.size());
}

std::vector<std::shared_ptr<OVOperation>> OVOperationQueue::operations() const {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    std::vector<std::shared_ptr<OVOperation>> all = m_state->running;
    all.insert(all.end(), m_state->pending.begin(), m_state->pending.end());
    return all;
}

void OVOperationQueue::waitUntilAllOperationsAreFinished() {
    std::unique_lock<std::mutex> lock(m_state->mutex);
    m_state->idle.wait(lock, [this] { return m_state->pending.empty() && m_state->running.empty(); });
}
