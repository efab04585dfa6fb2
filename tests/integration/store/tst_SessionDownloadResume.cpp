// A session download cut off half way, by an unplugged device or by a killed process, is finished
// by a new page storer: the data ends byte-identical to the device's session and passes its CRC.
#include "PageStorerTestSupport.h"

#include <QCoreApplication>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString kSerial = QStringLiteral("OVR0000000000777");
const char* const kChildFlag = "--store-one-session";

std::shared_ptr<OVSessionPageStorer> storerFor(const std::shared_ptr<OVSession>& session,
                                               const std::shared_ptr<OrvaneCDCDevice>& device,
                                               const std::shared_ptr<OVCommandFactory>& factory) {
    auto info = std::make_shared<OVDeviceInfo>();
    info->setSerial(kSerial);
    return std::make_shared<OVSessionPageStorer>(factory, session, device, info);
}

// The child process: stores the device's first session over a slow link until it is killed.
int storeOneSession(const QString& stateDirectory) {
    DeviceRig rig(false, stateDirectory);
    OvLinkModel slow = OvLinkModel::zeroDelay();
    slow.latencyUs = 2000;
    rig.hub().setLinkModel(slow);
    const auto device = rig.waitForCdc(kSerial);
    if (!device)
        return 2;
    const OVSessionList sessions = listSessions(device);
    if (sessions.isEmpty())
        return 3;
    auto factory = std::make_shared<OVCommandFactory>();
    runStorer(storerFor(sessions.first(), device, factory), 600000);
    return 0;
}

} // namespace

class tst_SessionDownloadResume : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_home;
    std::shared_ptr<OVLogCapture> m_log;
    std::shared_ptr<OVCommandFactory> m_factory = std::make_shared<OVCommandFactory>();
    OVSessionFileRepository m_repo;

    // Stores the session with a fresh storer on a fresh session list, and checks the result.
    void resumeAndCheck(const std::shared_ptr<OrvaneCDCDevice>& device, const QByteArray& expected) {
        const OVSessionList sessions = listSessions(device);
        QCOMPARE(sessions.size(), 1);
        const std::shared_ptr<OVSession> session = sessions.first();
        m_log->clear();
        StorerOutcome outcome(session);
        QVERIFY(runStorer(storerFor(session, device, m_factory)));
        QCOMPARE(outcome.successes(), 1);
        QCOMPARE(outcome.failures(), 0);
        QCOMPARE(session->syncStatus(), int(OVSessionSyncStatusStored));
        const QByteArray stored = fileBytes(m_repo.getSessionDataFilePath(*session, nullptr));
        QCOMPARE(stored.size(), expected.size());
        QVERIFY(stored == expected);
        QCOMPARE(m_log->linesStartingWith(QStringLiteral("(%1)-CRC value = [1]").arg(kSerial)).size(), 1);
    }

private Q_SLOTS:
    void init() {
        m_home = std::make_unique<QTemporaryDir>();
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home->path() + QStringLiteral("/data")));
        m_log = OVLogCapture::install();
    }

    void cleanup() {
        OVLogCapture::uninstall();
        m_home.reset();
    }

    void unpluggedHalfWayThenResumed() {
        DeviceRig rig(false);
        const auto device = rig.plug(kSerial, 1, 64);
        QVERIFY(device);
        const QByteArray expected = deviceSessionBytes(rig.hub(), kSerial, 0);
        QCOMPARE(expected.size(), 64 * 512);
        QVERIFY(rig.hub().addFault(kSerial, OvFault::unplugAfterPages(32, 1)));

        const OVSessionList sessions = listSessions(device);
        QCOMPARE(sessions.size(), 1);
        {
            StorerOutcome outcome(sessions.first());
            QVERIFY(runStorer(storerFor(sessions.first(), device, m_factory)));
            QCOMPARE(outcome.failures(), 1);
            QCOMPARE(sessions.first()->syncStatus(), int(OVSessionSyncStatusStoringFailed));
        }
        const QByteArray partial = fileBytes(m_repo.getSessionDataFilePath(*sessions.first(), nullptr));
        // The device leaves after 32 answered reads; one more may slip out while it goes.
        QCOMPARE(partial.size() % 512, 0);
        QVERIFY2(partial.size() >= 32 * 512 && partial.size() < 64 * 512,
                 qPrintable(QString::number(partial.size())));
        QCOMPARE(partial, expected.left(partial.size()));

        QVERIFY(rig.hub().replug(kSerial));
        const auto again = rig.waitForCdc(kSerial, device);
        QVERIFY(again);
        resumeAndCheck(again, expected);
        QCOMPARE(m_log->linesStartingWith(QStringLiteral("(%1)-Not all data pages").arg(kSerial)).first(),
                 QStringLiteral(
                     "(%1)-Not all data pages are in the DB for session [%2]. Start fetching from page %3")
                     .arg(kSerial, sessions.first()->description())
                     .arg(sessions.first()->startPage() + quint64(partial.size() / 512)));
    }

    void killedHalfWayThenResumed() {
        const QString state = m_home->path() + QStringLiteral("/devsim");
        const quint32 pages = 600;
        QByteArray expected;
        {
            DeviceRig rig(false, state);
            QVERIFY(rig.plug(kSerial, 1, pages));
            expected = deviceSessionBytes(rig.hub(), kSerial, 0);
        }
        QCOMPARE(expected.size(), int(pages * 512));

        // posix_spawn rather than QProcess: a fork of this threaded process is what sanitizers refuse.
        const QByteArray program = QFile::encodeName(QCoreApplication::applicationFilePath());
        const QByteArray stateArgument = QFile::encodeName(state);
        char* childArgv[] = {const_cast<char*>(program.constData()), const_cast<char*>(kChildFlag),
                             const_cast<char*>(stateArgument.constData()), nullptr};
        pid_t child = 0;
        QCOMPARE(posix_spawn(&child, program.constData(), nullptr, nullptr, childArgv, environ), 0);
        // Whatever ends the test, the child does not outlive it.
        const auto reap = qScopeGuard([&child] {
            if (child > 0) {
                ::kill(child, SIGKILL);
                ::waitpid(child, nullptr, 0);
            }
        });
        // The data file lives where the record would: find it through any session with that start.
        const QString storeRoot = m_home->path() + QStringLiteral("/data/OvServices/DATA/PROD/") + kSerial;
        QString dataFile;
        const bool halfWay = QTest::qWaitFor(
            [&] {
                const QStringList dirs = QDir(storeRoot).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
                if (dirs.isEmpty())
                    return false;
                dataFile = storeRoot + QLatin1Char('/') + dirs.first() + QStringLiteral("/session_data.dat");
                return QFileInfo(dataFile).size() >= qint64(pages / 2) * 512;
            },
            120000);
        QVERIFY2(halfWay, "the child did not store half of the session");
        QCOMPARE(::kill(child, SIGKILL), 0); // no cleanup of any kind in the child
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        child = 0;
        QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        const qint64 leftBehind = QFileInfo(dataFile).size();
        QVERIFY2(leftBehind < qint64(pages) * 512, "the child finished before it was killed");
        QCOMPARE(fileBytes(dataFile), expected.left(int(leftBehind)));

        DeviceRig rig(false, state);
        const auto device = rig.waitForCdc(kSerial);
        QVERIFY(device);
        resumeAndCheck(device, expected);
    }
};

int main(int argc, char** argv) {
    if (argc == 3 && qstrcmp(argv[1], kChildFlag) == 0) {
        QCoreApplication app(argc, argv);
        return storeOneSession(QString::fromLocal8Bit(argv[2]));
    }
    QCoreApplication app(argc, argv);
    tst_SessionDownloadResume test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_SessionDownloadResume.moc"
