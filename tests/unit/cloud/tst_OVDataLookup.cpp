#include "OVDataLookup.h"
#include "OVServiceProtocol.h"

#include <QTest>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

/** A web API client whose user load takes a while; only that load is ever called. */
class SlowUsers : public OVServiceProtocol {
public:
    std::atomic<bool> loading{false};

    std::optional<QList<OVUser>> getAtheletes(OVError*) override {
        loading = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        loading = false;
        return QList<OVUser>();
    }
    void authenticate(const QString&, const QString&, AuthenticateCompletion) override {}
    std::optional<QList<OVTeam>> getTeams(OVError*) override { return std::nullopt; }
    std::optional<OVRecordsPage> getRecordsByFilter(const OVRecordFilter&, OVError*) override {
        return std::nullopt;
    }
    bool createRecord(OVRecord&, OVError*) override { return false; }
    std::optional<OVURLRequest> createUploadRecordRequest(const OVRecord&, const QString&, quint64,
                                                          OVError*) override {
        return std::nullopt;
    }
};

} // namespace

class tst_OVDataLookup : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // At exit the web client is destroyed while the look-up, which lives on, may be inside it.
    void detachingWaitsForTheLoadInsideTheClient() {
        SlowUsers service;
        OVDataLookup lookup;
        lookup.setService(&service);
        lookup.findUserById(7, [](std::optional<OVUser>, std::optional<OVError>) {});
        QVERIFY(QTest::qWaitFor([&] { return service.loading.load(); }, 2000));
        lookup.detachService();
        QVERIFY(!service.loading);

        lookup.reset(); // the users must be loaded again, and there is no client to load them with
        const auto [user, error] = lookup.findUserByIdAndWait(7);
        QVERIFY(!user);
        QCOMPARE(error->description(), QStringLiteral("No web API client"));
    }
};

QTEST_GUILESS_MAIN(tst_OVDataLookup)
#include "tst_OVDataLookup.moc"
