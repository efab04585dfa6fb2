#pragma once

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

/**
 * A unit of queued work. A plain operation does its work in main() on a thread of its queue and is
 * finished when main() returns. A concurrent operation (isConcurrent() true) overrides start(),
 * starts its own thread and marks itself finished later with setFinished(true).
 *
 * Cancellation is a flag the work checks; an operation cancelled before it started is still
 * started, and its start() must see isCancelled() and end at once, reporting the cancellation.
 */
class OVOperation : public std::enable_shared_from_this<OVOperation> {
public:
    virtual ~OVOperation() = default;

    /** Runs main() unless cancelled, then marks the operation finished. */
    virtual void start();
    virtual void main() {}
    virtual bool isConcurrent() const { return false; }
    virtual void cancel() { m_cancelled.store(true); }

    bool isCancelled() const { return m_cancelled.load(); }
    bool isExecuting() const { return m_executing.load(); }
    bool isFinished() const { return m_finished.load(); }

    QString name() const;
    void setName(const QString& name);

protected:
    void setExecuting(bool executing) { m_executing.store(executing); }
    /** Marking finished tells the queue, once, that the next operation may start. */
    void setFinished(bool finished);

private:
    friend class OVOperationQueue;
    void setFinishedHandler(std::function<void()> handler);

    std::atomic<bool> m_cancelled{false};
    std::atomic<bool> m_executing{false};
    std::atomic<bool> m_finished{false};
    mutable std::mutex m_mutex;
    QString m_name;
    std::function<void()> m_finishedHandler;
};

/** An operation that runs a function. */
class OVBlockOperation : public OVOperation {
public:
    explicit OVBlockOperation(std::function<void()> block)
        : m_block(std::move(block)) {}
    void main() override { m_block(); }

private:
    std::function<void()> m_block;
};
