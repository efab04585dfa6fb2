// The page storer against the in-process emulator, files in a temporary home.
#include "PageStorerTestSupport.h"

#include "OVException.h"

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
    std::shared_ptr<OVCommandFactory> m_factory = std::make_shared<OVCommandFactory>();
    OVSessionFileRepository m_repo;
    /** What plug() made: the device's one session, a storer for it and what it announces. */
    std::shared_ptr<OVSession> m_session;
    std::shared_ptr<OVSessionPageStorer> m_storer;
    std::unique_ptr<StorerOutcome> m_outcome;

    // A device with one session of `pages` pages, listed as the service lists it; false if it is not.
    bool plug(quint32 pages) {
        m_device = m_rig->plug(kSerial, 1, pages);
        return list();
    }
    // Lists the device's session again, as a new run does, with a new storer and outcome for it.
    bool list() {
        const OVSessionList sessions = m_device ? listSessions(m_device) : OVSessionList();
        m_session = sessions.value(0);
        m_storer = makeStorer(m_session);
        m_outcome = std::make_unique<StorerOutcome>(m_session);
        return sessions.size() == 1;
    }

    std::shared_ptr<OVSessionPageStorer> makeStorer(const std::shared_ptr<OVSession>& session) {
        auto info = std::make_shared<OVDeviceInfo>();
        info->setSerial(kSerial);
        return std::make_shared<OVSessionPageStorer>(m_factory, session, m_device, info);
    }

    QByteArray expected() { return deviceSessionBytes(m_rig->hub(), kSerial, 0); }
    QString dataPath() { return m_repo.getSessionDataFilePath(*m_session, nullptr); }
    void addFault(SimFault::Kind kind, quint64 page, int remaining,
                  std::optional<OrvaneOp> op = std::nullopt) {
        QVERIFY(m_rig->hub().addFault(kSerial, {kind, quint32(page), remaining, op}));
    }
    std::pair<int, int> counts() const { return {m_outcome->successes(), m_outcome->failures()}; }
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
    }

    void cleanup() {
        m_outcome.reset();
        m_storer.reset();
        m_session.reset();
        m_device.reset();
        m_rig.reset();
        OVLogCapture::uninstall();
        m_home.reset();
    }

    void storesAndVerifiesAWholeSession() {
        QVERIFY(plug(20));
        m_storer->setPagePause(std::chrono::milliseconds(5));
        QElapsedTimer timer;
        timer.start();
        QVERIFY(runStorer(m_storer));

        QVERIFY2(timer.elapsed() >= 20 * 5, qPrintable(QString::number(timer.elapsed()))); // a pause a page
        QCOMPARE(counts(), std::pair(1, 0));
        QCOMPARE(m_session->syncStatus(), int(OVSessionSyncStatusStored));
        QCOMPARE(fileBytes(dataPath()), expected());
        QCOMPARE(
            m_outcome->percentages(OVSessionSyncStatusStoring),
            (QList<int>{0, 5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 55, 60, 65, 70, 75, 80, 85, 90, 95, 100}));
        // The CRC check starts again from 0 and announces whole-number changes only.
        const QList<int> crc = m_outcome->percentages(OVSessionSyncStatusCrcChecking);
        QVERIFY(crc.size() == 21 && crc.first() == 0 && crc.last() == 100);
        QCOMPARE(m_outcome->changes().last().status, int(OVSessionSyncStatusStored));
        QCOMPARE(logged(QStringLiteral("-CRC value = [1]")), 1);
    }

    // A page storer of a replaced run still storing while the next run's starts on the same session: the
    // second waits for the first, then finds every page held; the data is never appended twice.
    void twoPassesOnOneSessionNeverAppendTogether() {
        QVERIFY(plug(200));
        m_rig->hub().setLinkModel({1000, 0, 0, 0});
        const auto second = makeStorer(m_session);
        OVOperationQueue firstQueue(QStringLiteral("first run"), 1),
            secondQueue(QStringLiteral("second run"), 1);
        firstQueue.addOperation(m_storer);
        secondQueue.addOperation(second);
        QVERIFY(QTest::qWaitFor([&] { return m_outcome->successes() + m_outcome->failures() == 2; }, 60000));
        QCOMPARE(counts(), std::pair(2, 0));
        QCOMPARE(fileBytes(dataPath()), expected());
        QCOMPARE(logged(QStringLiteral("-All data pages already in the DB")), 1);
    }

    void completeDataIsVerifiedWithoutReadingPages() {
        QVERIFY(plug(6));
        QVERIFY(writeFileBytes(dataPath(), expected()));
        addFault(SimFault::Kind::Refuse, 0, -1, OrvaneOp::Page); // a page request would fail the operation
        QVERIFY(runStorer(m_storer));
        QCOMPARE(m_outcome->successes(), 1);
        QCOMPARE(logged(QStringLiteral("-All data pages already in the DB")), 1);
    }

    // Corrupt data fails only the CRC check, which keeps the first corrupt copy and retries once.
    // Undotted and "255.255.255" revisions, and a session the device has not listed in this run (no
    // device record to check against), are checked by size.
    void corruptPagesFailOnlyTheCrcCheck_data() {
        QTest::addColumn<QString>("firmwareRev");
        QTest::addColumn<int>("corruptReads"); // -1: always
        QTest::addColumn<QString>("scene");    // "copy": a corrupt copy left by an earlier run; "unlisted"
        QTest::addColumn<bool>("byCrc");
        QTest::newRow("corrupt once, then intact") << "1.2.3" << 1 << "" << true;
        QTest::newRow("corrupt twice") << "1.2.3" << -1 << "" << true;
        QTest::newRow("corrupt twice, earlier copy kept") << "1.2.3" << -1 << "copy" << true;
        QTest::newRow("no CRC firmware") << "255.255.255" << -1 << "" << false;
        QTest::newRow("undotted") << "3" << -1 << "" << false;
        QTest::newRow("dotted, not listed in this run") << "1.2.3" << -1 << "unlisted" << false;
    }

    void corruptPagesFailOnlyTheCrcCheck() {
        QFETCH(QString, firmwareRev);
        QFETCH(int, corruptReads);
        QFETCH(QString, scene);
        QFETCH(bool, byCrc);
        QVERIFY(plug(8));
        m_session->setFirmwareRev(firmwareRev);
        if (scene == QLatin1String("unlisted"))
            m_session->setOvSession(nullptr);
        OVError error;
        QVERIFY(m_repo.addSession(*m_session, &error));
        const QString copy = dataPath() + QStringLiteral(".corrupted");
        const bool copyExists = scene == QLatin1String("copy");
        QVERIFY(!copyExists || writeFileBytes(copy, "earlier"));
        addFault(SimFault::Kind::CorruptPage, m_session->startPage() + 5, corruptReads);
        QVERIFY(runStorer(m_storer));

        const bool fails = byCrc && corruptReads < 0;
        QCOMPARE(counts(), std::pair(fails ? 0 : 1, fails ? 1 : 0));
        QCOMPARE(logged(QStringLiteral("-CRC check will start")), byCrc ? 2 : 0);
        QCOMPARE(m_storer->currentRetry(), byCrc ? 1 : 0);
        const std::optional<OVSessionList> stored = m_repo.getAllSessions(&error);
        QVERIFY(stored && stored->size() == 1);
        QCOMPARE(stored->first()->crcCorruption(), byCrc); // persisted, and kept after a good retry
        const QByteArray kept = fileBytes(copy);
        QVERIFY(copyExists ? kept == "earlier"
                           : byCrc == (kept.size() == expected().size() && kept != expected()));
        if (fails) {
            QCOMPARE(m_session->syncStatus(), int(OVSessionSyncStatusStoringFailed));
            QVERIFY(!QFileInfo::exists(dataPath()));
            QCOMPARE(loggedError(crcInvalid()), 1);
        } else if (byCrc) {
            QCOMPARE(fileBytes(dataPath()), expected());
        }
    }

    void sessionEndingBeforeItsStartStopsAfterOnePage() {
        // A corrupt list entry: read on until the end page, the pass would walk the whole device.
        QVERIFY(plug(8) && m_session->startPage() >= 2);
        m_session->setEndPage(m_session->startPage() - 2);
        m_session->setFirmwareRev(QStringLiteral("255.255.255"));
        QVERIFY(runStorer(m_storer));
        QCOMPARE(counts(), std::pair(0, 1));
        QCOMPARE(logged(QStringLiteral("-Fetched last page")), 2); // one page in each of the two passes
        QCOMPARE(loggedError(crcInvalid()), 1);
    }

    void cancelledBeforeStartTouchesNothing() {
        QVERIFY(plug(4));
        m_storer->cancel();
        QVERIFY(runStorer(m_storer));
        QCOMPARE(counts(), std::pair(0, 1));
        QCOMPARE(m_session->syncStatus(), int(OVSessionSyncStatusStoringCancelled));
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
        QVERIFY(plug(40));
        const bool torn = how == QLatin1String("torn");
        if (torn || how == QLatin1String("held")) {
            QVERIFY(writeFileBytes(dataPath(), expected().left(12 * 512 + (torn ? 200 : 0))));
        } else {
            const bool cancels = how == QLatin1String("cancel") || how == QLatin1String("no answer");
            std::atomic<bool> interrupted{false};
            m_outcome->onChange = [&](const StorerOutcome::Change& change) {
                if (!cancels || change.status != OVSessionSyncStatusStoring || change.percentage < 25 ||
                    interrupted.exchange(true))
                    return;
                if (how == QLatin1String("cancel"))
                    m_storer->cancel();
                else // from then on the pass waits for an answer that never comes; only cancel() ends it
                    m_rig->hub().addFault(kSerial, {SimFault::Kind::NoAnswer, 0, -1, OrvaneOp::Page});
            };
            if (how == QLatin1String("no answer"))
                QTimer::singleShot(1500, this, [storer = m_storer] { storer->cancel(); });
            if (how == QLatin1String("unplug"))
                QVERIFY(m_rig->hub().addFault(kSerial, SimFault::unplugAfterPages(16, 1)));
            if (how == QLatin1String("fail"))
                addFault(SimFault::Kind::FailPage, m_session->startPage() + 12, -1);
            QVERIFY(runStorer(m_storer, 20000));
            QCOMPARE(counts(), std::pair(0, 1));
            if (how == QLatin1String("fail"))
                QCOMPARE(loggedError(OVError(
                             OVSessionPageStorer::kDeviceCommandErrorDomain, 2,
                             QStringLiteral("Sending command to device to fetch a page of data failed"))),
                         1);
        }
        QCOMPARE(m_session->syncStatus(), status);
        const QByteArray partial = fileBytes(dataPath());
        QVERIFY2(partial.size() >= 10 * 512 && partial.size() < 40 * 512 &&
                     (torn || partial.size() % 512 == 0),
                 qPrintable(QString::number(partial.size())));
        QCOMPARE(partial, expected().left(partial.size()));

        if (how == QLatin1String("unplug")) {
            QVERIFY(m_rig->hub().replug(kSerial));
            m_device = m_rig->waitForCdc(kSerial, m_device); // none: list() fails
        }
        QVERIFY(m_rig->hub().clearFaults(kSerial));
        QVERIFY(list());
        QVERIFY(runStorer(m_storer));
        QCOMPARE(m_outcome->successes(), 1);
        QCOMPARE(m_storer->currentRetry(), torn ? 1 : 0);
        QCOMPARE(fileBytes(dataPath()), expected());
        const int held = partial.size() / 512;
        QCOMPARE(logged(QStringLiteral(
                            "-Not all data pages are in the DB for session [%1]. Start fetching from page %2")
                            .arg(m_session->description())
                            .arg(m_session->startPage() + held)),
                 1);
        // Progress counts the pages already held.
        const QList<int> progress = m_outcome->percentages(OVSessionSyncStatusStoring);
        QVERIFY(progress.size() > 2 && progress.first() == 0 && progress.last() == 100);
        QVERIFY2(progress[1] > held * 100 / 40, qPrintable(QString::number(progress[1])));
    }

    void storeFailuresFailTheOperationAndTheNextRunCompletes_data() {
        QTest::addColumn<QString>("step");
        QTest::addColumn<bool>("throws"); // else it fails with kDiskError
        QTest::addColumn<QString>("logged");
        QTest::newRow("last saved page: error")
            << "last" << false << "-Error in getLastSavedPageNumberForSession.";
        QTest::newRow("last saved page: exception")
            << "last" << true << "-An exception occurred during session PAGE storing main. Exception: ";
        QTest::newRow("full disk") << "append" << false
                                   << QStringLiteral("-Error in page storer. Error: ") +
                                          kDiskError.fullDescription();
        QTest::newRow("commit: error")
            << "commit" << false << "-Error in commit (context, last page reached).";
        QTest::newRow("commit: exception")
            << "commit" << true
            << "-An exception occurred during session PAGE storing oncommandexecuted. Page: ";
        QTest::newRow("delete for retry: error") << "delete" << false << "-Missing pages in the DB detected";
    }

    void storeFailuresFailTheOperationAndTheNextRunCompletes() {
        QFETCH(QString, step);
        QFETCH(bool, throws);
        QFETCH(QString, logged);
        QVERIFY(plug(3));
        auto repo = std::make_shared<ScriptedRepository>();
        repo->failing = step;
        repo->throws = throws;
        if (step == QLatin1String("delete")) {
            m_session->setFirmwareRev(QStringLiteral("3"));
            // A torn page makes the size check fail, which deletes the data for the retry.
            QVERIFY(writeFileBytes(dataPath(), expected().left(512 + 100)));
        }
        m_storer->setRepo(repo);
        QVERIFY(runStorer(m_storer));

        QCOMPARE(counts(), std::pair(0, 1));
        QCOMPARE(this->logged(logged), 1);
        const OVError error =
            throws ? OVError(OVSessionPageStorer::kErrorDomain, 1,
                             QStringLiteral("An unexpected exception occurred during session PAGE "
                                            "storing. Please try again by re-inserting the device "
                                            "in the USB"))
                   : kDiskError;
        QCOMPARE(loggedError(error), 1);

        QVERIFY(runStorer(makeStorer(m_session)));
        QCOMPARE(m_outcome->successes(), 1);
        QCOMPARE(fileBytes(dataPath()), expected());
    }

    void missingDataFailsTheCrcCheck() {
        // A store that claims every page while the data file is missing: the check finds nothing, twice.
        QVERIFY(plug(3));
        auto repo = std::make_shared<ScriptedRepository>();
        repo->claimedLastPage = m_session->endPage();
        m_storer->setRepo(repo);
        QVERIFY(runStorer(m_storer));
        QCOMPARE(m_outcome->failures(), 1);
        QCOMPARE(logged(QStringLiteral("-CRC value = [-10]")), 2);
    }
};

QTEST_GUILESS_MAIN(tst_OVSessionPageStorer)
#include "tst_OVSessionPageStorer.moc"
