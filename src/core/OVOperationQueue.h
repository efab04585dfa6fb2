#pragma once

#include "OVOperation.h"

#include <QString>

#include <memory>
#include <vector>

/**
 * A named queue that starts its operations in the order they were added, at most
 * maxConcurrentOperationCount at a time, each on one of the queue's own worker threads. Thread-safe.
 * Destroying the queue cancels what it holds and waits until all of it has ended; so a queue is never
 * destroyed from one of its own operations.
 */
class OVOperationQueue {
public:
    explicit OVOperationQueue(const QString& name, int maxConcurrentOperationCount = 1);
    ~OVOperationQueue();
    OVOperationQueue(const OVOperationQueue&) = delete;
    OVOperationQueue& operator=(const OVOperationQueue&) = delete;

    QString name() const;
    int maxConcurrentOperationCount() const;

    void addOperation(std::shared_ptr<OVOperation> operation);
    void addOperationWithBlock(std::function<void()> block);
    /** Cancels every operation, started or not; those not started yet still start and end at once. */
    void cancelAllOperations();
    /** Operations added and not finished yet. */
    int operationCount() const;
    std::vector<std::shared_ptr<OVOperation>> operations() const;
    /** Blocks until every operation added so far has finished. For tests and shutdown. */
    void waitUntilAllOperationsAreFinished();

private:
    struct State;
    std::shared_ptr<State> m_state;
};
