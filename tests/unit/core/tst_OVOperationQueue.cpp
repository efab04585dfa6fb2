#include "OVOperationQueue.h"

#include <QTest>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace {

/** Finishes later on a thread of its own, like the page storer and the session syncher. */
struct ConcurrentOperation : OVOperation {
    ~ConcurrentOperation() override {
        if (thread.joinable())
            thread.join();
    }
    bool isConcurrent() const override { return true; }
    void start() override {
        if (isCancelled()) {
            reportedCancellation = true;
            setFinished(true);
            return;
        }
        setExecuting(true);
        thread = std::thread([this] {
            while (!released && !isCancelled())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            reportedCancellation = isCancelled();
            setExecuting(false);
            setFinished(true);
        });
    }
    std::atomic<bool> released{false};
    std::atomic<bool> reportedCancellation{false};
    std::thread thread;
};

} // namespace

class tst_OVOperationQueue : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void runsInOrderAddedAtTheQueuesWidth_data() {
        QTest::addColumn<int>("width");
        QTest::newRow("serial") << 1;
        QTest::newRow("two at a time") << 2;
        QTest::newRow("four at a time") << 4;
    }

    // A serial queue runs its operations in the order added; a wider one runs several at once, never
    // more than its width, whoever adds them (here four threads at once).
    void runsInOrderAddedAtTheQueuesWidth() {
        QFETCH(int, width);
        OVOperationQueue queue(QStringLiteral("test queue"), width);
        std::mutex mutex;
        std::vector<int> started;
        int running = 0;
        int peak = 0;
        const int adders = width == 1 ? 1 : 4;
        std::vector<std::thread> threads;
        for (int t = 0; t < adders; ++t)
            threads.emplace_back([&, t] {
                for (int i = t * 100 / adders; i < (t + 1) * 100 / adders; ++i)
                    queue.addOperationWithBlock([&, i] {
                        {
                            std::lock_guard<std::mutex> lock(mutex);
                            started.push_back(i);
                            peak = std::max(peak, ++running);
                        }
                        std::this_thread::sleep_for(std::chrono::milliseconds(2));
                        std::lock_guard<std::mutex> lock(mutex);
                        --running;
                    });
            });
        for (auto& thread : threads)
            thread.join();
        queue.waitUntilAllOperationsAreFinished();
        QCOMPARE(queue.operationCount(), 0);
        QCOMPARE(int(started.size()), 100);
        QVERIFY(peak <= width);
        QVERIFY(width == 1 ? std::is_sorted(started.begin(), started.end()) : peak > 1);
    }

    // A concurrent operation holds its slot until it finishes; one cancelled while waiting is
    // finished without running its work.
    void concurrentOperationHoldsItsSlotUntilItFinishes() {
        OVOperationQueue queue(QStringLiteral("serial"), 1);
        auto first = std::make_shared<ConcurrentOperation>();
        std::atomic<bool> secondRan{false};
        std::atomic<bool> cancelledRan{false};
        auto cancelledWhileWaiting = std::make_shared<OVBlockOperation>([&] { cancelledRan.store(true); });
        queue.addOperation(first);
        queue.addOperationWithBlock([&] { secondRan.store(true); });
        queue.addOperation(cancelledWhileWaiting);
        cancelledWhileWaiting->cancel();
        QTRY_VERIFY(first->isExecuting());
        QTest::qWait(50);
        QVERIFY(!secondRan.load());
        QCOMPARE(queue.operationCount(), 3);
        first->released = true;
        queue.waitUntilAllOperationsAreFinished();
        QVERIFY(secondRan.load());
        QVERIFY(first->isFinished() && cancelledWhileWaiting->isFinished());
        QVERIFY(!cancelledRan.load() && !first->reportedCancellation);
    }

    // Cancelling, or destroying the queue, reaches the running operation and every waiting one;
    // cancelled waiting ones are still started, see the flag, and report their cancellation.
    void cancellingReachesEveryOperation_data() {
        QTest::addColumn<bool>("destroyQueue");
        QTest::newRow("cancel all") << false;
        QTest::newRow("queue destroyed") << true;
    }
    void cancellingReachesEveryOperation() {
        QFETCH(bool, destroyQueue);
        auto queue = std::make_unique<OVOperationQueue>(QStringLiteral("serial"), 1);
        std::vector<std::shared_ptr<ConcurrentOperation>> ops(5);
        for (auto& op : ops)
            queue->addOperation(op = std::make_shared<ConcurrentOperation>());
        QTRY_VERIFY(ops.front()->isExecuting());
        if (destroyQueue) {
            queue.reset();
        } else {
            queue->cancelAllOperations();
            queue->waitUntilAllOperationsAreFinished();
        }
        QTRY_VERIFY(ops.front()->isFinished());
        for (const auto& op : ops) {
            QVERIFY(op->isCancelled() && !op->isExecuting());
            QVERIFY(destroyQueue || (op->isFinished() && op->reportedCancellation));
        }
    }
};

QTEST_GUILESS_MAIN(tst_OVOperationQueue)
#include "tst_OVOperationQueue.moc"
