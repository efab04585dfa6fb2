#include "OVException.h"
#include "OVMainThread.h"

#include <QCoreApplication>
#include <QTest>
#include <QThread>

#include <atomic>
#include <thread>

class tst_OVMainThread : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void asyncRunsLaterOnTheMainThread() {
        std::atomic<bool> onMain{false};
        std::atomic<bool> ran{false};
        std::thread worker([&] {
            OVMainThread::async([&] {
                onMain.store(OVMainThread::isMainThread());
                ran.store(true);
            });
        });
        worker.join();
        QVERIFY(!ran.load());
        QTRY_VERIFY(ran.load());
        QVERIFY(onMain.load());
    }

    void syncWaitsForTheMainThread() {
        std::atomic<int> order{0};
        int seenInWork = -1;
        int seenAfter = -1;
        std::thread worker([&] {
            OVMainThread::sync([&] {
                seenInWork = order.fetch_add(1);
                QVERIFY(OVMainThread::isMainThread());
            });
            seenAfter = order.fetch_add(1);
        });
        QTRY_COMPARE(order.load(), 2);
        worker.join();
        QCOMPARE(seenInWork, 0);
        QCOMPARE(seenAfter, 1);
    }

    void syncOnTheMainThreadRunsDirectly() {
        bool ran = false;
        OVMainThread::sync([&] { ran = true; });
        QVERIFY(ran);
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
