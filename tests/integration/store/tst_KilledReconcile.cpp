// A reconcile saves the records of a whole device together. Killed at any moment, by SIGKILL in a child
// process, it must leave each record as it was or as the reconcile wrote it: never torn, never missing.
#include "OVFileSystem.h"
#include "OVSessionFileRepository.h"
#include "StoreTestSupport.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <thread>

namespace {

constexpr int kSessions = 600;
const QString kSerial = QStringLiteral("OVR0000000077");

} // namespace

class tst_KilledReconcile : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_home;
    QList<std::shared_ptr<OVSession>> m_sessions;
    QList<QByteArray> m_old, m_new; // each session's record before and after the reconcile

    QString dataHome() const { return m_home.filePath(QStringLiteral("data")); }
    QString sessionDirectory(const OVSession& session) const {
        return dataHome() + QStringLiteral("/OvServices/DATA/PROD/") + kSerial + QLatin1Char('/') +
               OVSessionFileRepository::directoryNameForStart(session.start());
    }

private Q_SLOTS:
    void initTestCase() {
        qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome()));
        for (int i = 0; i < kSessions; ++i) {
            auto session = makeStoreSession(kSerial, 1700000000.0 + i * 600.5, 1, 4);
            m_old.append(OVSessionFileRepository::convertSessionToData(*session, nullptr));
            session->setAlreadySynced(true);
            m_new.append(OVSessionFileRepository::convertSessionToData(*session, nullptr));
            session->setAlreadySynced(false);
            m_sessions.append(session);
        }
        QVERIFY(m_old.first() != m_new.first());
    }

    void init() {
        // Every run starts from the same store, written plainly: it is the reconcile's writes under test.
        QVERIFY(QDir(dataHome()).removeRecursively());
        for (int i = 0; i < kSessions; ++i) {
            const QString directory = sessionDirectory(*m_sessions[i]);
            QVERIFY(QDir().mkpath(directory));
            QVERIFY(writeFileBytes(directory + QStringLiteral("/session.dat"), m_old[i]));
        }
    }

    void everyRecordIsOldOrNewAfterAKill_data() {
        QTest::addColumn<int>("killAfterMs"); // after the child is ready; -1: never
        for (const int ms : {0, 10, 20, 30, 40, 50, 60, 80, 100, 150, 250, 400})
            QTest::addRow("killed after %d ms", ms) << ms;
        QTest::newRow("not killed") << -1;
    }

    void everyRecordIsOldOrNewAfterAKill() {
        QFETCH(int, killAfterMs);
        QProcess child;
        child.start(QStringLiteral(OV_RECONCILE_CHILD), QStringList());
        QVERIFY2(child.waitForStarted(), qPrintable(child.errorString()));
        while (!child.canReadLine() && child.state() == QProcess::Running)
            child.waitForReadyRead(10000);
        QCOMPARE(child.readLine(), QByteArray("ready\n"));
        if (killAfterMs >= 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(killAfterMs));
            child.kill();
        }
        QVERIFY(child.waitForFinished(60000));
        if (killAfterMs < 0)
            QCOMPARE(child.exitCode(), 0);

        int olds = 0, news = 0, temporaries = 0;
        for (int i = 0; i < kSessions; ++i) {
            const QString directory = sessionDirectory(*m_sessions[i]);
            const QByteArray record = fileBytes(directory + QStringLiteral("/session.dat"));
            if (record == m_old[i])
                ++olds;
            else if (record == m_new[i])
                ++news;
            else
                QFAIL(qPrintable(
                    QStringLiteral("the record in %1 is neither the old nor the new one (%2 bytes)")
                        .arg(directory)
                        .arg(record.size())));
            for (const QString& name : QDir(directory).entryList(QDir::Files | QDir::Hidden))
                temporaries += OVFileSystem::isTemporaryName(name, OVSessionFileRepository::kSessionFileName);
        }
        qInfo("%d records old, %d new, %d temporary files left", olds, news, temporaries);
        // The store, loaded as the service loads it, lists every session once; leftovers are not sessions.
        const std::optional<OVSessionList> loaded = OVSessionFileRepository().getAllSessions(nullptr);
        QVERIFY(loaded);
        QCOMPARE(loaded->size(), kSessions);
        if (killAfterMs < 0) {
            QCOMPARE(news, kSessions);
            QCOMPARE(temporaries, 0);
        }
    }
};

QTEST_GUILESS_MAIN(tst_KilledReconcile)
#include "tst_KilledReconcile.moc"
