#include "OVException.h"
#include "OVMainThread.h"

#include <QTest>

#include <atomic>
#include <thread>

class tst_OVMainThread : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void asyncRunsLaterOnTheMainThread() {
        std::atomic<int> ranOnMain{-1};
        std::thread worker([&] { OVMainThread::async([&] { ranOnMain = OVMainThread::isMainThread(); }); });
        worker.join();
        QCOMPARE(ranOnMain.load(), -1); // not at once
        QTRY_COMPARE(ranOnMain.load(), 1);
    }

    void syncWaitsForTheMainThread() {
        QStringList order; // written by one thread at a time: the worker waits while the work runs
        std::atomic<bool> done{false};
        std::thread worker([&] {
            OVMainThread::sync(
                [&] { order << QStringLiteral("work on main: %1").arg(OVMainThread::isMainThread()); });
            order << QStringLiteral("after");
            done = true;
        });
        QTRY_VERIFY(done.load());
        worker.join();
        OVMainThread::sync([&] { order << QStringLiteral("from main"); }); // on the main thread: at once
        QCOMPARE(order, (QStringList{QStringLiteral("work on main: 1"), QStringLiteral("after"),
                                     QStringLiteral("from main")}));
    }

    // Not only our own exceptions: a standard one is described and carries a stack too.
    void standardExceptionsCarryTheirDescriptionAndStack() {
        try {
            throw std::out_of_range("index 9");
        } catch (...) {
            QCOMPARE(OVException::describe(std::current_exception()), QStringLiteral("index 9"));
            QVERIFY(!OVException::callStackOf(std::current_exception()).isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(tst_OVMainThread)
#include "tst_OVMainThread.moc"
