#include "OVNotificationCenter.h"

#include <QTest>

#include <atomic>
#include <thread>
#include <vector>

namespace {
struct Record {
    int value = 0;
};
} // namespace

class tst_OVNotificationCenter : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Delivered by name, in the order observers were added, with the sender; a sender of another type
    // than asked for reads as null, never as a wrong cast. Removal goes by owner, or by owner and name.
    void deliversByNameInOrderWithTheSender() {
        OVNotificationCenter center;
        QStringList calls;
        int a = 0, b = 0;
        center.addObserver(&a, OVNotificationName::OnSessionStoredSuccess, [&](const OVNotification& n) {
            calls << QStringLiteral("a:%1").arg(n.objectAs<Record>()->value);
        });
        center.addObserver(&b, OVNotificationName::OnSessionStoredSuccess, [&](const OVNotification& n) {
            calls << QStringLiteral("b:%1").arg(n.objectAs<Record>()->value);
        });
        center.addObserver(&b, OVNotificationName::OnSessionStoredFailed, [&](const OVNotification& n) {
            calls << (n.objectAs<Record>() || n.objectAs<QString>() ? QStringLiteral("cast")
                                                                    : QStringLiteral("null"));
        });
        center.post(OVNotificationName::OnSessionStoredSuccess, std::make_shared<Record>(Record{7}));
        center.post(OVNotificationName::OnSessionStoredFailed);
        center.post(OVNotificationName::OnSessionStoredFailed, std::make_shared<int>(3));
        center.removeObserver(&b, OVNotificationName::OnSessionStoredFailed);
        center.post(OVNotificationName::OnSessionStoredFailed);
        center.post(OVNotificationName::OnSessionStoredSuccess, std::make_shared<Record>(Record{8}));
        center.removeObserver(&b);
        center.post(OVNotificationName::OnSessionStoredSuccess, std::make_shared<Record>(Record{9}));
        QCOMPARE(calls, (QStringList{QStringLiteral("a:7"), QStringLiteral("b:7"), QStringLiteral("null"),
                                     QStringLiteral("null"), QStringLiteral("a:8"), QStringLiteral("b:8"),
                                     QStringLiteral("a:9")}));
        center.removeObserver(&a);
        QCOMPARE(center.observerCount(), 0);
    }

    // Handlers change the centre while it delivers: a removed observer is not called afterwards,
    // an added one waits for the next post, and a nested post is delivered at once.
    void handlersMayChangeTheCentreWhileItDelivers() {
        OVNotificationCenter center;
        QStringList calls;
        int first = 0, second = 0, late = 0;
        center.addObserver(&first, OVNotificationName::OnDeviceListChanged, [&](const OVNotification&) {
            calls << QStringLiteral("first");
            center.removeObserver(&second);
            center.addObserver(&late, OVNotificationName::OnDeviceListChanged,
                               [&](const OVNotification&) { calls << QStringLiteral("late"); });
            center.post(OVNotificationName::OnSignOut);
        });
        center.addObserver(&second, OVNotificationName::OnDeviceListChanged,
                           [&](const OVNotification&) { calls << QStringLiteral("second"); });
        center.addObserver(&first, OVNotificationName::OnSignOut,
                           [&](const OVNotification&) { calls << QStringLiteral("nested"); });
        center.post(OVNotificationName::OnDeviceListChanged);
        center.removeObserver(&first, OVNotificationName::OnDeviceListChanged);
        center.post(OVNotificationName::OnDeviceListChanged);
        QCOMPARE(calls,
                 (QStringList{QStringLiteral("first"), QStringLiteral("nested"), QStringLiteral("late")}));
    }

    void manyThreadsPostAddAndRemove() {
        OVNotificationCenter center;
        std::atomic<int> delivered{0};
        int stable = 0;
        center.addObserver(&stable, OVNotificationName::OnSessionSyncStatusChanged,
                           [&](const OVNotification&) { delivered.fetch_add(1); });
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&] {
                for (int i = 0; i < 2000; ++i)
                    center.post(OVNotificationName::OnSessionSyncStatusChanged, std::make_shared<Record>());
            });
        for (int t = 0; t < 2; ++t)
            threads.emplace_back([&center, t] {
                int owner = t;
                for (int i = 0; i < 500; ++i) {
                    center.addObserver(&owner, OVNotificationName::OnSessionSyncStatusChanged,
                                       [](const OVNotification&) {});
                    center.removeObserver(&owner);
                }
            });
        for (auto& th : threads)
            th.join();
        QCOMPARE(delivered.load(), 4 * 2000);
        QCOMPARE(center.observerCount(), 1);
    }
};

QTEST_GUILESS_MAIN(tst_OVNotificationCenter)
#include "tst_OVNotificationCenter.moc"
