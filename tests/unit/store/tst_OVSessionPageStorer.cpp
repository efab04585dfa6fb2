// The page storer against the in-process emulator, files in a temporary home.
#include "PageStorerTestSupport.h"

#include "OVException.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

namespace {

const QString kSerial = QStringLiteral("OVR0000000000501");
const OVError kDiskError(QStringLiteral("NSPOSIXErrorDomain"), 28, QStringLiteral("No space left on device"));
OVError crcInvalid() {
    return OVError(OVSessionPageStorer::kErrorDomain, 2, QStringLiteral("CRC invalid."));
}

// A file store whose steps a test can make fail or throw.
class ScriptedRepository : public OVSessionFileRepository {
public:
    /** The step that fails ("last", "append", "commit", "delete"), with kDiskError or by throwing. */
    QString failing;
    bool throws = false;
    /** The last saved page it claims, whatever the data file holds. */
    std::optional<quint64> claimedLastPage;

    // Data on a full disk: every append fails.
    class FullDiskAppender : public OVSessionDataAppender {
    public:
        bool append(const QByteArray&, OVError* error) override {
            OVError::set(error, kDiskError);
            return false;
        }
        bool close(OVError*) override { return true; }
    };
    std::unique_ptr<OVSessionDataAppender> openSessionDataForAppending(const OVSession& session,
                                                                       OVError* error) override {
        if (failing == QLatin1String("append"))
            return std::make_unique<FullDiskAppender>();
        return OVSessionFileRepository::openSessionDataForAppending(session, error);
    }

    std::optional<quint64> getLastSavedPageNumberForSession(const OVSession& session,
                                                            OVError* error) override {
        if (fails("last", error))
            return std::nullopt;
        return claimedLastPage ? claimedLastPage
                               : OVSessionFileRepository::getLastSavedPageNumberForSession(session, error);
    }
    bool commit(OVError* error) override {
        fails("commit", error); // the storer goes by the error, not by the answer
        return true;
    }
    void deleteDataForSession(const OVSession& session, OVError* error) override {
        if (!fails("delete", error))
            OVSessionFileRepository::deleteDataForSession(session, error);
    }

private:
    bool fails(const char* step, OVError* error) {
        if (failing != QLatin1String(step))
            return false;
        if (throws)
            throw OVException(QStringLiteral("disk went away"));
        OVError::set(error, kDiskError);
        return true;
    }
};

} // namespace

class tst_OVSessionPageStorer : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_home;
    std::shared_ptr<OVLogCapture> m_log;
    std::unique_ptr<DeviceRig> m_rig;
    std::shared_ptr<OrvaneCDCDevice> m_device;
    std::shared_ptr<OVCommandFactory> m_factory;
    OVSessionFileRepository m_repo;

    // A device with one session of `pages` pages, listed as the service lists it.
    std::shared_ptr<OVSession> plugSession(quint32 pages) {
        m_device = m_rig->plug(kSerial, 1, pages);
        const OVSessionList sessions = m_device ? listSessions(m_device) : OVSessionList();
        return sessions.size() == 1 ? sessions.first() : nullptr;
    }

    std::shared_ptr<OVSessionPageStorer> makeStorer(const std::shared_ptr<OVSession>& session) {
        auto info = std::make_shared<OVDeviceInfo>();
        info->setSerial(kSerial);
        return std::make_shared<OVSessionPageStorer>(m_factory, session, m_device, info);
    }

    QByteArray expected() { return deviceSessionBytes(m_rig->hub(), kSerial, 0); }
    QString dataPath(const OVSession& s) { return m_repo.getSessionDataFilePath(s, nullptr); }
    void addFault(OvFault::Kind kind, quint64 page, int remaining,
                  std::optional<OrvaneOp> op = std::nullopt) {
        QVERIFY(m_rig->hub().addFault(kSerial, {kind, quint32(page), remaining, op}));
    }
    static std::pair<int, int> counts(const StorerOutcome& o) { return {o.successes(), o.failures()}; }
    // Lines of this device's storer that begin with "(serial)" and then the text.
    int logged(const QString& text) const {
        return m_log->linesStartingWith(QLatin1Char('(') + kSerial + QLatin1Char(')') + text).size();
    }
    int loggedError(const OVError& error) const {
        return logged(QStringLiteral("-Error in page storer. Error: ") + error.fullDescription());
    }

private Q_SLOTS:
    void init() {
        m_home = std::make_unique<QTemporaryDir>();
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home->path()));
        m_log = OVLogCapture::install();
        m_rig = std::make_unique<DeviceRig>(false);
        m_factory = std::make_shared<OVCommandFactory>();
    }

    void cleanup() {
        m_device.reset();
        m_rig.reset();
        OVLogCapture::uninstall();
        m_home.reset();
    }

    void storesAndVerifiesAWholeSession() {
        auto session = plugSession(20);
        QVERIFY(session);
        StorerOutcome outcome(session);
        auto storer = makeStorer(session);
        storer->setPagePause(std::chrono::milliseconds(5));
        QElapsedTimer timer;
        timer.start();
        QVERIFY(runStorer(storer));

        QVERIFY2(timer.elapsed() >= 20 * 5, qPrintable(QString::number(timer.elapsed()))); // a pause a page
        QCOMPARE(counts(outcome), std::pair(1, 0));
        QCOMPARE(session->syncStatus(), int(OVSessionSyncStatusStored));
        QCOMPARE(fileBytes(dataPath(*session)), expected());
        QCOMPARE(
            outcome.percentages(OVSessionSyncStatusStoring),
            (QList<int>{0, 5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 55, 60, 65, 70, 75, 80, 85, 90, 95, 100}));
        // The CRC check starts again from 0 and announces whole-number changes only.
        const QList<int> crc = outcome.percentages(OVSessionSyncStatusCrcChecking);
        QVERIFY(crc.size() == 21 && crc.first() == 0 && crc.last() == 100);
        QCOMPARE(outcome.changes().last().status, int(OVSessionSyncStatusStored));
        QCOMPARE(logged(QStringLiteral("-CRC value = [1]")), 1);
        QVERIFY(!session->crcCorruption());
        QCOMPARE(storer->totalPageCount(), quint64(20));
    }

    void completeDataIsVerifiedWithoutReadingPages() {
        auto session = plugSession(6);
        QVERIFY(session);
        QVERIFY(writeFileBytes(dataPath(*session), expected()));
        addFault(OvFault::Kind::Refuse, 0, -1, OrvaneOp::Page); // a page request would fail the operation
        StorerOutcome outcome(session);
        QVERIFY(runStorer(makeStorer(session)));
        QCOMPARE(outcome.successes(), 1);
        QCOMPARE(logged(QStringLiteral("-All data pages already in the DB")), 1);
    }

    // Corrupt data fails only the CRC check, which keeps the first corrupt copy and retries once.
    // Undotted and "255.255.255" revisions, and a session the device has not listed in this run (no
    // device record to check against), are checked by size.
    void corruptPagesFailOnlyTheCrcCheck_data() {
        QTest::addColumn<QString>("firmwareRev");
        QTest::addColumn<bool>("listed");
        QTest::addColumn<int>("corruptReads"); // -1: always
        QTest::addColumn<bool>("copyExists");  // left by an earlier run
        QTest::addColumn<bool>("byCrc");
        QTest::newRow("corrupt once, then intact") << "1.2.3" << true << 1 << false << true;
        QTest::newRow("corrupt twice") << "1.2.3" << true << -1 << false << true;
        QTest::newRow("corrupt twice, earlier copy kept") << "1.2.3" << true << -1 << true << true;
        QTest::newRow("no CRC firmware") << "255.255.255" << true << -1 << false << false;
        QTest::newRow("undotted") << "3" << true << -1 << false << false;
        QTest::newRow("dotted, not listed in this run") << "1.2.3" << false << -1 << false << false;
    }

    void corruptPagesFailOnlyTheCrcCheck() {
        QFETCH(QString, firmwareRev);
        QFETCH(bool, listed);
        QFETCH(int, corruptReads);
        QFETCH(bool, copyExists);
        QFETCH(bool, byCrc);
        auto session = plugSession(8);
        QVERIFY(session);
        session->setFirmwareRev(firmwareRev);
        if (!listed)
            session->setOvSession(nullptr);
        OVError error;
        QVERIFY(m_repo.addSession(*session, &error));
        const QString copy = dataPath(*session) + QStringLiteral(".corrupted");
        QVERIFY(!copyExists || writeFileBytes(copy, "earlier"));
        addFault(OvFault::Kind::CorruptPage, session->startPage() + 5, corruptReads);
        StorerOutcome outcome(session);
        auto storer = makeStorer(session);
        QVERIFY(runStorer(storer));

        const bool fails = byCrc && corruptReads < 0;
        QCOMPARE(counts(outcome), std::pair(fails ? 0 : 1, fails ? 1 : 0));
        QCOMPARE(logged(QStringLiteral("-CRC check will start")), byCrc ? 2 : 0);
        QCOMPARE(storer->currentRetry(), byCrc ? 1 : 0);
        const std::optional<OVSessionList> stored = m_repo.getAllSessions(&error);
        QVERIFY(stored && stored->size() == 1);
        QCOMPARE(stored->first()->crcCorruption(), byCrc); // persisted, and kept after a good retry
        const QByteArray kept = fileBytes(copy);
        QVERIFY(copyExists ? kept == "earlier"
                           : byCrc == (kept.size() == expected().size() && kept != expected()));
        if (fails) {
            QCOMPARE(session->syncStatus(), int(OVSessionSyncStatusStoringFailed));
            QVERIFY(!QFileInfo::exists(dataPath(*session)));
            QCOMPARE(loggedError(crcInvalid()), 1);
        } else if (byCrc) {
            QCOMPARE(fileBytes(dataPath(*session)), expected());
        }
    }

    void sessionEndingBeforeItsStartStopsAfterOnePage() {
        // A corrupt list entry: read on until the end page, the pass would walk the whole device.
        auto session = plugSession(8);
        QVERIFY(session && session->startPage() >= 2);
        session->setEndPage(session->startPage() - 2);
        session->setFirmwareRev(QStringLiteral("255.255.255"));
        StorerOutcome outcome(session);
        QVERIFY(runStorer(makeStorer(session)));
        QCOMPARE(counts(outcome), std::pair(0, 1));
        QCOMPARE(logged(QStringLiteral("-Fetched last page")), 2); // one page in each of the two passes
        QCOMPARE(loggedError(crcInvalid()), 1);
    }

    void cancelledBeforeStartTouchesNothing() {
        auto session = plugSession(4);
        QVERIFY(session);
        StorerOutcome outcome(session);
        auto storer = makeStorer(session);
        storer->cancel();
        QVERIFY(runStorer(storer));
        QCOMPARE(counts(outcome), std::pair(0, 1));
        QCOMPARE(session->syncStatus(), int(OVSessionSyncStatusStoringCancelled));
        QCOMPARE(logged(QStringLiteral("-STORE SESSION CANCELLED! ")), 1);
        QVERIFY(!QFileInfo::exists(m_home->path() + QStringLiteral("/OvServices")));
    }

    void interruptedDownloadResumesAfterTheLastWholePage_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("status"); // how the interrupted run ended
        const int cancelled = OVSessionSyncStatusStoringCancelled, failed = OVSessionSyncStatusStoringFailed;
        QTest::newRow("pages held from an earlier run") << "held" << int(OVSessionSyncStatusNone);
        // The first pass appends after the torn page and fails its check; the retry starts over.
        QTest::newRow("torn last page held") << "torn" << int(OVSessionSyncStatusNone);
        QTest::newRow("cancelled between pages") << "cancel" << cancelled;
        QTest::newRow("cancelled while a page is never answered") << "no answer" << cancelled;
        QTest::newRow("device unplugged") << "unplug" << failed;
        QTest::newRow("page read fails") << "fail" << failed;
    }

    void interruptedDownloadResumesAfterTheLastWholePage() {
        QFETCH(QString, how);
        QFETCH(int, status);
        auto session = plugSession(40);
        QVERIFY(session);
        const bool torn = how == QLatin1String("torn");
        if (torn || how == QLatin1String("held")) {
            QVERIFY(writeFileBytes(dataPath(*session), expected().left(12 * 512 + (torn ? 200 : 0))));
        } else {
            auto storer = makeStorer(session);
            StorerOutcome outcome(session);
            const bool cancels = how == QLatin1String("cancel") || how == QLatin1String("no answer");
            std::atomic<bool> interrupted{false};
            outcome.onChange = [&](const StorerOutcome::Change& change) {
                if (!cancels || change.status != OVSessionSyncStatusStoring || change.percentage < 25 ||
                    interrupted.exchange(true))
                    return;
                if (how == QLatin1String("cancel"))
                    storer->cancel();
                else // from then on the pass waits for an answer that never comes; only cancel() ends it
                    m_rig->hub().addFault(kSerial, {OvFault::Kind::NoAnswer, 0, -1, OrvaneOp::Page});
            };
            if (how == QLatin1String("no answer"))
                QTimer::singleShot(1500, this, [storer] { storer->cancel(); });
            if (how == QLatin1String("unplug"))
                QVERIFY(m_rig->hub().addFault(kSerial, OvFault::unplugAfterPages(16, 1)));
            if (how == QLatin1String("fail"))
                addFault(OvFault::Kind::FailPage, session->startPage() + 12, -1);
            QVERIFY(runStorer(storer, 20000));
            QCOMPARE(counts(outcome), std::pair(0, 1));
            if (how == QLatin1String("fail"))
                QCOMPARE(loggedError(OVError(
                             OVSessionPageStorer::kDeviceCommandErrorDomain, 2,
                             QStringLiteral("Sending command to device to fetch a page of data failed"))),
                         1);
        }
        QCOMPARE(session->syncStatus(), status);
        const QByteArray partial = fileBytes(dataPath(*session));
        QVERIFY2(partial.size() >= 10 * 512 && partial.size() < 40 * 512 &&
                     (torn || partial.size() % 512 == 0),
                 qPrintable(QString::number(partial.size())));
        QCOMPARE(partial, expected().left(partial.size()));

        if (how == QLatin1String("unplug")) {
            QVERIFY(m_rig->hub().replug(kSerial));
            m_device = m_rig->waitForCdc(kSerial, m_device);
            QVERIFY(m_device);
        }
        QVERIFY(m_rig->hub().clearFaults(kSerial));
        const OVSessionList listed = listSessions(m_device); // a new run lists the sessions again
        QCOMPARE(listed.size(), 1);
        StorerOutcome resumed(listed.first());
        const auto storer = makeStorer(listed.first());
        QVERIFY(runStorer(storer));
        QCOMPARE(resumed.successes(), 1);
        QCOMPARE(storer->currentRetry(), torn ? 1 : 0);
        QCOMPARE(fileBytes(dataPath(*session)), expected());
        const int held = partial.size() / 512;
        QCOMPARE(logged(QStringLiteral(
                            "-Not all data pages are in the DB for session [%1]. Start fetching from page %2")
                            .arg(listed.first()->description())
                            .arg(listed.first()->startPage() + held)),
                 1);
        // Progress counts the pages already held.
        const QList<int> progress = resumed.percentages(OVSessionSyncStatusStoring);
        QVERIFY(progress.size() > 2 && progress.first() == 0 && progress.last() == 100);
        QVERIFY2(progress[1] > held * 100 / 40, qPrintable(QString::number(progress[1])));
    }

    void storeFailuresFailTheOperationAndTheNextRunCompletes_data() {
        QTest::addColumn<QString>("step"); // failing with kDiskError, or with " throws" by an exception
        QTest::addColumn<QString>("logged");
        QTest::newRow("last saved page: error") << "last"
                                                << "-Error in getLastSavedPageNumberForSession.";
        QTest::newRow("last saved page: exception")
            << "last throws"
            << "-An exception occurred during session PAGE storing main. Exception: ";
        QTest::newRow("full disk") << "append"
                                   << QStringLiteral("-Error in page storer. Error: ") +
                                          kDiskError.fullDescription();
        QTest::newRow("commit: error") << "commit"
                                       << "-Error in commit (context, last page reached).";
        QTest::newRow("commit: exception")
            << "commit throws"
            << "-An exception occurred during session PAGE storing oncommandexecuted. Page: ";
        QTest::newRow("delete for retry: error") << "delete"
                                                 << "-Missing pages in the DB detected";
    }

    void storeFailuresFailTheOperationAndTheNextRunCompletes() {
        QFETCH(QString, step);
        QFETCH(QString, logged);
        auto session = plugSession(3);
        QVERIFY(session);
        auto repo = std::make_shared<ScriptedRepository>();
        repo->failing = step.section(QLatin1Char(' '), 0, 0);
        repo->throws = step.endsWith(QLatin1String(" throws"));
        if (repo->failing == QLatin1String("delete")) {
            session->setFirmwareRev(QStringLiteral("3"));
            // A torn page makes the size check fail, which deletes the data for the retry.
            QVERIFY(writeFileBytes(dataPath(*session), expected().left(512 + 100)));
        }
        StorerOutcome outcome(session);
        auto storer = makeStorer(session);
        storer->setRepo(repo);
        QVERIFY(runStorer(storer));

        QCOMPARE(counts(outcome), std::pair(0, 1));
        QCOMPARE(this->logged(logged), 1);
        const OVError error =
            repo->throws ? OVError(OVSessionPageStorer::kErrorDomain, 1,
                                   QStringLiteral("An unexpected exception occurred during session PAGE "
                                                  "storing. Please try again by re-inserting the device "
                                                  "in the USB"))
                         : kDiskError;
        QCOMPARE(loggedError(error), 1);

        QVERIFY(runStorer(makeStorer(session)));
        QCOMPARE(outcome.successes(), 1);
        QCOMPARE(fileBytes(dataPath(*session)), expected());
    }

    void missingDataFailsTheCrcCheck() {
        // A store that claims every page while the data file is missing: the check finds nothing, twice.
        auto session = plugSession(3);
        QVERIFY(session);
        auto repo = std::make_shared<ScriptedRepository>();
        repo->claimedLastPage = session->endPage();
        StorerOutcome outcome(session);
        auto storer = makeStorer(session);
        storer->setRepo(repo);
        QVERIFY(runStorer(storer));
        QCOMPARE(outcome.failures(), 1);
        QCOMPARE(logged(QStringLiteral("-CRC value = [-10]")), 2);
    }
};

QTEST_GUILESS_MAIN(tst_OVSessionPageStorer)
#include "tst_OVSessionPageStorer.moc"
