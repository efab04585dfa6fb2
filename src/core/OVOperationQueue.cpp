#include "OVOperationQueue.h"

#include <QThreadPool>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>

struct OVOperationQueue::State : std::enable_shared_from_this<OVOperationQueue::State> {
    QString name;
    int maxConcurrent = 1;
    std::unique_ptr<QThreadPool> pool;
    mutable std::mutex mutex;
    std::condition_variable idle;
    std::deque<std::shared_ptr<OVOperation>> pending;
    std::vector<std::shared_ptr<OVOperation>> running;

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
            pool->start([op] { op->start(); });
        }
        if (pending.empty() && running.empty())
            idle.notify_all();
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
    m_state->pool = std::make_unique<QThreadPool>();
    m_state->pool->setMaxThreadCount(m_state->maxConcurrent);
    m_state->pool->setObjectName(name);
}

OVOperationQueue::~OVOperationQueue() {
    cancelAllOperations();
    // Plain operations end on the pool's threads; concurrent ones may outlive the queue on their
    // own threads, holding only a weak reference to it.
    m_state->pool->waitForDone();
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
