#include "OVOperationQueue.h"

#include <QTest>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace {

/** Finishes later on a thread of its own, like the page storer and the session syncher. */
class ConcurrentOperation : public OVOperation {
public:
    explicit ConcurrentOperation(std::atomic<int>* cancelledReports)
        : m_cancelledReports(cancelledReports) {}
    ~ConcurrentOperation() override {
        if (m_thread.joinable())
            m_thread.join();
    }
    bool isConcurrent() const override { return true; }
    void start() override {
        if (isCancelled()) {
            m_cancelledReports->fetch_add(1);
            setFinished(true);
            return;
        }
        setExecuting(true);
        m_thread = std::thread([this] {
            while (!m_release.load() && !isCancelled())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (isCancelled())
                m_cancelledReports->fetch_add(1);
            setExecuting(false);
            setFinished(true);
        });
    }
    void release() { m_release.store(true); }

private:
    std::atomic<int>* m_cancelledReports;
    std::atomic<bool> m_release{false};
    std::thread m_thread;
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
        std::atomic<int> cancelled{0};
        OVOperationQueue queue(QStringLiteral("serial"), 1);
        auto first = std::make_shared<ConcurrentOperation>(&cancelled);
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
        first->release();
        queue.waitUntilAllOperationsAreFinished();
        QVERIFY(secondRan.load());
        QVERIFY(first->isFinished() && cancelledWhileWaiting->isFinished());
        QVERIFY(!cancelledRan.load());
        QCOMPARE(cancelled.load(), 0);
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
        std::atomic<int> cancelled{0};
        auto queue = std::make_unique<OVOperationQueue>(QStringLiteral("serial"), 1);
        std::vector<std::shared_ptr<ConcurrentOperation>> ops;
        for (int i = 0; i < 5; ++i) {
            ops.push_back(std::make_shared<ConcurrentOperation>(&cancelled));
            queue->addOperation(ops.back());
        }
        QTRY_VERIFY(ops.front()->isExecuting());
        if (destroyQueue) {
            queue.reset();
        } else {
            queue->cancelAllOperations();
            queue->waitUntilAllOperationsAreFinished();
            QCOMPARE(cancelled.load(), 5);
        }
        QTRY_VERIFY(ops.front()->isFinished());
        for (const auto& op : ops) {
            QVERIFY(op->isCancelled() && !op->isExecuting());
            QVERIFY(destroyQueue || op->isFinished());
        }
    }
};

QTEST_GUILESS_MAIN(tst_OVOperationQueue)
#include "tst_OVOperationQueue.moc"
