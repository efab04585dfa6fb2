#include "OVSessionFileRepository.h"
#include "OVStorageCleaner.h"
#include "OVTestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>

class tst_OVStorageCleaner : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::atomic<int> m_passes{0};
    std::unique_ptr<OVStorageCleaner> m_cleaner;

    QString root() const { return m_dir->path() + QStringLiteral("/OvServices/DATA/PROD"); }

private Q_SLOTS:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir->path()));
        QVERIFY(QDir().mkpath(root()));
        m_passes = 0;
        m_cleaner = std::make_unique<OVStorageCleaner>();
        m_cleaner->setRepositoryFactory([this] { // one a pass
            ++m_passes;
            return std::make_unique<OVSessionFileRepository>();
        });
    }

    void cleanup() {
        m_cleaner->stopCleaning();
        m_cleaner.reset();
        m_dir.reset();
    }

    void deletesSessionDirectoriesWithPagesAndNoRecord_data() {
        QTest::addColumn<QStringList>(
            "entries"); // in one session directory; a trailing "/" makes a directory
        QTest::addColumn<bool>("deleted");
        QTest::newRow("pages, no record") << QStringList{QStringLiteral("PAGES/ov_3.dat")} << true;
        QTest::newRow("pages and data, no record")
            << QStringList{QStringLiteral("PAGES/"), QStringLiteral("session_data.dat")} << true;
        QTest::newRow("a file named PAGES, no record") << QStringList{QStringLiteral("PAGES")} << true;
        QTest::newRow("data only") << QStringList{QStringLiteral("session_data.dat")} << false;
        QTest::newRow("empty") << QStringList{} << false;
        QTest::newRow("record and pages")
            << QStringList{QStringLiteral("PAGES/"), QStringLiteral("session.dat")} << false;
    }

    void deletesSessionDirectoriesWithPagesAndNoRecord() {
        QFETCH(QStringList, entries);
        QFETCH(bool, deleted);
        const QString device = root() + QStringLiteral("/OVR0000000001");
        const QString session = device + QStringLiteral("/1700000000.000000");
        QVERIFY(QDir().mkpath(session));
        for (const QString& entry : entries) {
            const QString path = session + QLatin1Char('/') + entry;
            QVERIFY(QDir().mkpath(QFileInfo(path).path()));
            QVERIFY(entry.endsWith(QLatin1Char('/')) || writeFileBytes(path, "x"));
        }
        // Plain files at either level, like the names of what is deleted, are never touched.
        QVERIFY(writeFileBytes(root() + QStringLiteral("/PAGES"), "x"));
        QVERIFY(writeFileBytes(device + QStringLiteral("/PAGES"), "x"));

        m_cleaner->cleanInternal();

        QCOMPARE(QFileInfo::exists(session), !deleted);
        QVERIFY(QFileInfo(device).isDir()); // device directories stay, even emptied
        QVERIFY(QFileInfo(root() + QStringLiteral("/PAGES")).isFile());
        QVERIFY(QFileInfo(device + QStringLiteral("/PAGES")).isFile());
    }

    void startRunsAPassAtOnceThenOnEveryTick() {
        const QString device = root() + QStringLiteral("/OVR0000000003");
        QVERIFY(QDir().mkpath(device + QStringLiteral("/1.000000/PAGES")));
        m_cleaner->setInterval(std::chrono::milliseconds(40));
        m_cleaner->startCleaning();
        m_cleaner->queue().waitUntilAllOperationsAreFinished();
        QVERIFY(!QFileInfo::exists(device + QStringLiteral("/1.000000")));

        // An orphan made later goes on a later tick.
        QVERIFY(QDir().mkpath(device + QStringLiteral("/2.000000/PAGES")));
        QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(device + QStringLiteral("/2.000000")), 5000);

        m_cleaner->stopCleaning();
        m_cleaner->queue().waitUntilAllOperationsAreFinished();
        const int afterStop = m_passes.load();
        QTest::qWait(200); // five intervals in which no tick may come
        QCOMPARE(m_passes.load(), afterStop);
    }

    void secondStartKeepsTheOneHourlyTimer() {
        m_cleaner->startCleaning();
        const QTimer* first = m_cleaner->timer();
        m_cleaner->startCleaning();
        QCOMPARE(m_cleaner->timer(), first);
        QVERIFY(first->isActive());
        QCOMPARE(first->interval(), 3600 * 1000);
        m_cleaner->queue().waitUntilAllOperationsAreFinished();
        QCOMPARE(m_passes.load(), 1);
    }
};

QTEST_GUILESS_MAIN(tst_OVStorageCleaner)
#include "tst_OVStorageCleaner.moc"
