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

    // A concurrent operation holds its slot until it finishes. Cancelling, or destroying the queue,
    // reaches the running operation and every waiting one: those are still started, see the flag and
    // report their cancellation; a cancelled block never runs its work.
    void concurrentOperationsHoldTheirSlotUntilFinishedOrCancelled_data() {
        QTest::addColumn<QString>("end");
        QTest::newRow("released") << "release";
        QTest::newRow("cancel all") << "cancel";
        QTest::newRow("queue destroyed") << "destroy";
    }
    void concurrentOperationsHoldTheirSlotUntilFinishedOrCancelled() {
        QFETCH(QString, end);
        auto queue = std::make_unique<OVOperationQueue>(QStringLiteral("serial"), 1);
        std::vector<std::shared_ptr<ConcurrentOperation>> ops(3);
        for (auto& op : ops)
            queue->addOperation(op = std::make_shared<ConcurrentOperation>());
        std::atomic<bool> blockRan{false};
        auto block = std::make_shared<OVBlockOperation>([&] { blockRan = true; });
        queue->addOperation(block);
        block->cancel();
        QTRY_VERIFY(ops[0]->isExecuting());
        QTest::qWait(50);
        QVERIFY(!ops[1]->isExecuting());
        QCOMPARE(queue->operationCount(), 4);
        if (end == QLatin1String("destroy")) {
            queue.reset();
        } else {
            for (auto& op : ops)
                op->released = end == QLatin1String("release");
            if (end == QLatin1String("cancel"))
                queue->cancelAllOperations();
            queue->waitUntilAllOperationsAreFinished();
        }
        QTRY_VERIFY(ops[0]->isFinished());
        const bool cancelled = end != QLatin1String("release");
        for (const auto& op : ops) {
            QVERIFY(op->isCancelled() == cancelled && !op->isExecuting());
            QVERIFY(!queue || (op->isFinished() && op->reportedCancellation == cancelled));
        }
        QVERIFY(!blockRan && (!queue || block->isFinished()));
    }
};

QTEST_GUILESS_MAIN(tst_OVOperationQueue)
#include "tst_OVOperationQueue.moc"
