// The local session store on disk: records, data and page files and their failures, the cleaner that
// deletes the session directories a crash abandoned, and the export of sessions as bags.
#include "OVBag.h"
#include "OVFileSystem.h"
#include "OVPropertyList.h"
#include "OVSessionExporter.h"
#include "OVSessionFileRepository.h"
#include "OVStorageCleaner.h"
#include "StoreTestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>

namespace {

// Caps the size of files this process writes, as a nearly full disk would: a write that crosses
// the cap is cut short, the next one fails. SIGXFSZ is ignored so the failure comes back as EFBIG.
class FileSizeCap {
public:
    explicit FileSizeCap(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_savedHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit capped = m_saved;
        capped.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &capped);
    }
    ~FileSizeCap() {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_savedHandler);
    }

private:
    rlimit m_saved{};
    void (*m_savedHandler)(int) = nullptr;
};

const QString kFractionalBag =
    QStringLiteral("OVR0000000000601_2000.250000"); // the session with a fractional start

// The permission bits of everything under root, root included: "d700" or "f600" per path.
QMap<QString, QString> modesUnder(const QString& root) {
    QMap<QString, QString> modes;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    for (QString path = root; !path.isEmpty(); path = it.hasNext() ? it.next() : QString()) {
        struct stat st;
        if (::lstat(QFile::encodeName(path).constData(), &st) == 0)
            modes.insert(
                path.mid(root.size()),
                QStringLiteral("%1%2").arg(S_ISDIR(st.st_mode) ? 'd' : 'f').arg(st.st_mode & 0777, 0, 8));
    }
    return modes;
}

QStringList entries(const QString& directory) {
    return QDir(directory).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
}

} // namespace

class tst_OVSessionFileRepository : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_home;
    std::shared_ptr<OVLogCapture> m_log;
    OVSessionFileRepository m_repo;
    std::unique_ptr<OVStorageCleaner> m_cleaner;
    std::atomic<int> m_cleanerPasses{0};

    QString root() const { return m_home->path() + QStringLiteral("/data/OvServices/DATA/PROD"); }
    int logged(const QString& prefix) const { return m_log->linesStartingWith(prefix).size(); }
    QString outDir() const { return m_home->path() + QStringLiteral("/export"); }

    std::shared_ptr<OVSession> store(const QString& serial, double start, quint64 pageCount,
                                     qint64 storedBytes) {
        auto session = makeStoreSession(serial, start, 100, pageCount);
        OVError error;
        if (!m_repo.addSession(*session, &error))
            return nullptr;
        const QString path = m_repo.getSessionDataFilePath(*session, &error);
        return writeFileBytes(path, QByteArray(storedBytes, char(pageCount))) ? session : nullptr;
    }

private Q_SLOTS:
    void init() {
        m_home = std::make_unique<QTemporaryDir>();
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home->path() + QStringLiteral("/data")));
        m_log = OVLogCapture::install();
        m_cleanerPasses = 0;
        m_cleaner = std::make_unique<OVStorageCleaner>();
        m_cleaner->setRepositoryFactory([this] { // one a pass
            ++m_cleanerPasses;
            return std::make_unique<OVSessionFileRepository>();
        });
    }

    void cleanup() {
        m_cleaner->stopCleaning();
        m_cleaner.reset();
        OVLogCapture::uninstall();
        m_home.reset();
    }

    void recordIsNeverAbsentWhileRewritten() {
        // A reader (the cleaner, the status inquirer) looking while flags are persisted must always
        // find the record: a directory with "PAGES" and no record is deleted as abandoned.
        auto session = makeStoreSession(QStringLiteral("OVR0000000003"), 1700000000.0, 0, 2);
        OVError error;
        QVERIFY(m_repo.addSession(*session, &error));
        std::atomic<bool> done{false};
        std::atomic<int> absent{0};
        std::thread reader([&] {
            OVSessionFileRepository repo;
            OVError readError;
            while (!done.load())
                absent += repo.doesSessionExist(*session, &readError) ? 0 : 1;
        });
        for (int i = 0; i < 300; ++i) {
            session->setAlreadySynced(i % 2);
            m_repo.updateSession(*session, &error);
        }
        done = true;
        reader.join();
        QCOMPARE(error.code(), 0);
        QCOMPARE(absent.load(), 0);
    }

    void recordKeepsEveryFieldExactly_data() {
        QTest::addColumn<double>("start");
        QTest::addColumn<bool>("flags");
        QTest::addColumn<quint64>("startPage");
        QTest::addColumn<QString>("directory"); // named by the start, to the microsecond
        QTest::newRow("odd 1/256 steps") << 1712345678.99609375 << true << quint64(0) << "1712345678.996094";
        QTest::newRow("device time step")
            << 1700000000.00390625 << false << quint64(1) << "1700000000.003906";
        QTest::newRow("arbitrary fraction")
            << 1650000000.1234567 << false << quint64(1) << "1650000000.123457";
        QTest::newRow("before 2001") << 1000.5 << true << quint64(4000000000ULL) << "1000.500000";
        QTest::newRow("before 1970") << -12345.25 << false << quint64(0xFFFFFFFF00ULL) << "-12345.250000";
    }

    void recordKeepsEveryFieldExactly() {
        QFETCH(double, start);
        QFETCH(bool, flags);
        QFETCH(quint64, startPage);
        QFETCH(QString, directory);
        auto session = makeStoreSession(QStringLiteral("OVR0000000002"), start, startPage, 40);
        session->setCrcCorruption(flags);
        session->setAlreadySynced(!flags);
        // Fields the store does not keep come back as a fresh record has them.
        session->setSyncStatus(OVSessionSyncStatusStoring);
        session->setPercentage(55);
        session->setCorrupted(true);

        OVError error;
        QVERIFY(m_repo.addSession(*session, &error));
        session->setAlreadySynced(flags); // a rewrite replaces the record whole
        m_repo.updateSession(*session, &error);
        QCOMPARE(error.code(), 0);
        directory.prepend(root() + QStringLiteral("/OVR0000000002/"));
        QCOMPARE(m_repo.getSessionDataFilePath(*session, &error),
                 directory + QStringLiteral("/session_data.dat"));
        QCOMPARE(entries(directory), QStringList{QStringLiteral("session.dat")}); // no temporary left

        const std::optional<OVSessionList> all = m_repo.getAllSessions(&error);
        QVERIFY(all && all->size() == 1);
        const OVSession& read = *all->first();
        QCOMPARE(storedValues(read), storedValues(*session));
        QCOMPARE(std::tuple(read.syncStatus(), read.percentage(), read.corrupted()),
                 std::tuple(int(OVSessionSyncStatusNone), 0, false));
        QCOMPARE(m_repo.getDirectoryPathForSession(read, &error), directory);
    }

    void undecodableRecordsAreSetAsideAndWrittenAnew_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("keepable"); // whether the bad record can be kept beside
        const QByteArray record = OVSessionFileRepository::convertSessionToData(
            *makeStoreSession(QStringLiteral("OVR0000000005"), 1700000000.0, 0, 2), nullptr);
        OVPropertyList wrongType;
        wrongType.setString("start", QStringLiteral("yesterday"));
        QByteArray arrayRoot("bplist00\xa0\x08", 10); // a valid list whose root is an empty array
        arrayRoot += QByteArray(32, '\0');
        arrayRoot[10 + 6] = arrayRoot[10 + 7] = arrayRoot[10 + 15] = 1;
        arrayRoot[10 + 31] = 9;
        QTest::newRow("empty file") << QByteArray() << true;
        QTest::newRow("truncated record") << record.left(record.size() / 2) << true;
        QTest::newRow("header then garbage") << QByteArray("bplist00\xff\xff\xff\xff", 12) << true;
        QTest::newRow("array instead of dictionary") << arrayRoot << true;
        QTest::newRow("date stored as text") << wrongType.toBinary(nullptr) << true;
        QTest::newRow("oversized file") << QByteArray(2 * 1024 * 1024, 'x') << true;
        QTest::newRow("record path is a directory") << QByteArray("dir") << false;
    }

    // A record that does not decode is no session: it is kept beside, the device's entry writes it
    // anew, and the data beside it is never touched.
    void undecodableRecordsAreSetAsideAndWrittenAnew() {
        QFETCH(QByteArray, content);
        QFETCH(bool, keepable);
        OVError error;
        QVERIFY(m_repo.addSession(*makeStoreSession(QStringLiteral("OVR0000000005"), 1700000000.0, 0, 2),
                                  &error));
        const auto bad = makeStoreSession(QStringLiteral("OVR0000000005"), 1700000100.0, 0, 2);
        const QString path = m_repo.getSessionFilePath(*bad, &error);
        const QString dataPath = m_repo.getSessionDataFilePath(*bad, &error);
        QVERIFY(content == "dir" ? QDir().mkpath(path) : writeFileBytes(path, content));
        QVERIFY(writeFileBytes(dataPath, QByteArray(1024, 'd')));
        // Stray entries beside it: files at either level, an empty device, a directory without a record.
        QVERIFY(writeFileBytes(root() + QStringLiteral("/stray.txt"), "x"));
        QVERIFY(writeFileBytes(root() + QStringLiteral("/OVR0000000005/stray.dat"), "x"));
        QVERIFY(QDir().mkpath(root() + QStringLiteral("/OVR0000000005/1.000000/PAGES")));
        QVERIFY(QDir().mkpath(root() + QStringLiteral("/empty-device")));
        m_log->clear();

        const std::optional<OVSessionList> all = m_repo.getAllSessions(&error);
        QVERIFY(all && all->size() == 1);
        QCOMPARE(error.code(), 0);
        QCOMPARE(exactSeconds(all->first()->start()), exactSeconds(1700000000.0));
        QCOMPARE(logged(QStringLiteral("Error in convertToSession [NSData=")), 1);

        const QString kept = path + QStringLiteral(".corrupted");
        QVERIFY(!QFileInfo::exists(kept)); // listing only reads: an export must not change the store
        OVError existError;
        QVERIFY(!m_repo.doesSessionExist(*bad, &existError));
        QCOMPARE(existError.isSet(), !keepable);
        QCOMPARE(QFileInfo::exists(kept), keepable);
        if (!keepable)
            return;
        QVERIFY(m_repo.addSession(*bad, &error));
        QVERIFY(m_repo.doesSessionExist(*bad, &error));
        QCOMPARE(m_repo.getAllSessions(&error)->size(), 2);
        QCOMPARE(error.code(), 0);
        QCOMPARE(fileBytes(kept), content);
        QCOMPARE(fileBytes(dataPath), QByteArray(1024, 'd'));
    }

    // A two-page session from page 100.
    void pageArithmeticFollowsTheDataFileSize_data() {
        QTest::addColumn<int>("size");         // -1: no data file
        QTest::addColumn<qint64>("lastSaved"); // -1: none
        QTest::addColumn<bool>("complete");
        QTest::newRow("no file") << -1 << qint64(-1) << false;
        QTest::newRow("empty file") << 0 << qint64(-1) << false;
        QTest::newRow("two whole pages") << 1024 << qint64(101) << true;
        QTest::newRow("torn second page") << 1000 << qint64(100) << false;
        QTest::newRow("less than a page") << 100 << qint64(99) << false;
        QTest::newRow("more than the session") << 1536 << qint64(102) << false;
    }

    void pageArithmeticFollowsTheDataFileSize() {
        QFETCH(int, size);
        QFETCH(qint64, lastSaved);
        QFETCH(bool, complete);
        auto session = makeStoreSession(QStringLiteral("OVR0000000006"), 1700000000.0, 100, 2);
        OVError error;
        if (size >= 0)
            QVERIFY(writeFileBytes(m_repo.getSessionDataFilePath(*session, &error), QByteArray(size, 'p')));
        const std::optional<quint64> last = m_repo.getLastSavedPageNumberForSession(*session, &error);
        QCOMPARE(last ? qint64(*last) : qint64(-1), lastSaved);
        QCOMPARE(m_repo.doesSessionHaveAllData(*session, &error), complete);
        QCOMPARE(error.code(), 0);
    }

    // Two pages held, a third appended on a nearly full disk: it is whole or not there at all.
    void dataAppendLeavesWholePagesWhenTheDiskFills_data() {
        QTest::addColumn<int>("capBytes");
        QTest::addColumn<bool>("appended");
        QTest::addColumn<bool>("throughAddData");
        for (const bool throughAddData : {false, true}) {
            const char* through = throughAddData ? "addData" : "appender";
            QTest::addRow("%s: room for the page", through) << 4096 << true << throughAddData;
            QTest::addRow("%s: room for part of the page", through) << 1300 << false << throughAddData;
            QTest::addRow("%s: no room at all", through) << 1024 << false << throughAddData;
        }
    }

    void dataAppendLeavesWholePagesWhenTheDiskFills() {
        QFETCH(int, capBytes);
        QFETCH(bool, appended);
        QFETCH(bool, throughAddData);
        auto session = makeStoreSession(QStringLiteral("OVR0000000008"), 1700000000.0, 0, 3);
        const QString path = m_repo.getSessionDataFilePath(*session, nullptr);
        const QByteArray twoPages(1024, 'a'), page(512, 'b');
        QVERIFY(writeFileBytes(path, twoPages));
        OVError error;
        const auto data = m_repo.openSessionDataForAppending(*session, &error);
        QVERIFY(data);
        const bool ok = [&] {
            const FileSizeCap cap(static_cast<rlim_t>(capBytes));
            return throughAddData ? m_repo.addData(OVPage(2, page), *session, &error)
                                  : data->append(page, &error);
        }();
        QCOMPARE(ok, appended);
        QCOMPARE(error.isSet(), !appended);
        QVERIFY(data->close(&error));
        QCOMPARE(fileBytes(path), appended ? twoPages + page : twoPages);
    }

    void recordDataAndPageRecordsLiveApart() {
        auto session = makeStoreSession(QStringLiteral("OVR0000000007"), 1700000000.0, 100, 3);
        const QByteArray first(512, 'a'), second(512, 'b');
        OVError error;
        QVERIFY(m_repo.addSession(*session, &error));
        QVERIFY(m_repo.addData(OVPage(100, first), *session, &error));
        QVERIFY(m_repo.addData(OVPage(101, second), *session, &error));
        QCOMPARE(error.code(), 0);
        const QString directory = m_repo.getDirectoryPathForSession(*session, &error);
        QCOMPARE(fileBytes(directory + QStringLiteral("/session_data.dat")), first + second);
        QCOMPARE(entries(directory + QStringLiteral("/PAGES")), QStringList{QStringLiteral("ov_101.dat")});
        const std::optional<OVPage> page = OVSessionFileRepository::convertToPage(
            fileBytes(directory + QStringLiteral("/PAGES/ov_101.dat")), &error);
        QVERIFY(page && page->pageNumber() == 101 && page->data() == second);

        // Without its record the session is gone, while its pages still count.
        QVERIFY(m_repo.removeSession(*session, &error));
        QVERIFY(!m_repo.doesSessionExist(*session, &error));
        QCOMPARE(m_repo.getLastSavedPageNumberForSession(*session, &error), std::optional<quint64>(101));
        QVERIFY(m_repo.removeSession(*session, &error)); // already gone: not an error
        QCOMPARE(error.code(), 0);

        // Deleting the data keeps the record.
        QVERIFY(m_repo.addSession(*session, &error));
        m_repo.deleteDataForSession(*session, &error);
        m_repo.deleteDataForSession(*session, &error); // nothing left to delete: not an error
        QCOMPARE(error.code(), 0);
        QCOMPARE(entries(directory), QStringList{QStringLiteral("session.dat")});
    }

    void unusableSerialsFormNoPath_data() {
        QTest::addColumn<QString>("serial");
        QTest::newRow("empty") << QString();
        QTest::newRow("dot dot") << QStringLiteral("..");
        QTest::newRow("escaping") << QStringLiteral("../../escape");
    }

    void unusableSerialsFormNoPath() {
        QFETCH(QString, serial);
        auto session = makeStoreSession(serial, 1700000000.0, 0, 2);
        OVError error;
        QVERIFY(!m_repo.removeSession(*session, &error));
        QCOMPARE(error, OVFileSystem::errorFromErrno(EINVAL, root() + QLatin1Char('/') + serial));
        QVERIFY(!m_repo.addSession(*session, &error));
        QCOMPARE(logged(QStringLiteral("Error in getDirectoryPathForSession [session=SD:")), 2);
        QVERIFY(!QFileInfo::exists(m_home->path() + QStringLiteral("/data/OvServices/escape")));
    }

    void fileSystemErrorsComeBackUnchanged() {
        auto session = makeStoreSession(QStringLiteral("OVR0000000012"), 1700000000.0, 0, 2);
        OVError error;
        const QString directory = m_repo.getDirectoryPathForSession(*session, &error);

        // A file where "PAGES" belongs.
        QVERIFY(writeFileBytes(directory + QStringLiteral("/PAGES"), "x"));
        QVERIFY(m_repo.getDirectoryPathForSessionPages(*session, &error).isEmpty());
        QCOMPARE(error, OVFileSystem::errorFromErrno(ENOTDIR, directory + QStringLiteral("/PAGES")));
        QCOMPARE(logged(QStringLiteral("Error in getDirectoryPathForSessionPages [session=")), 1);

        // A directory where the record belongs: the write failed, so false, with the reason.
        QVERIFY(QDir().mkpath(directory + QStringLiteral("/session.dat/inner")));
        error = OVError();
        QVERIFY(!m_repo.addSession(*session, &error));
        QCOMPARE(error.domain(), OVFileSystem::kPOSIXErrorDomain);
        QVERIFY(error.code() == EISDIR || error.code() == ENOTEMPTY);
        QCOMPARE(entries(directory), (QStringList{QStringLiteral("PAGES"), QStringLiteral("session.dat")}));

        // A file where the store's root belongs fails every operation with the same error.
        QVERIFY(QDir().rename(m_home->path() + QStringLiteral("/data/OvServices"),
                              m_home->path() + QStringLiteral("/moved")));
        QVERIFY(writeFileBytes(m_home->path() + QStringLiteral("/data/OvServices"), "x"));
        const OVError rootError =
            OVFileSystem::errorFromErrno(ENOTDIR, m_home->path() + QStringLiteral("/data/OvServices"));
        OVError listed, added, updated;
        QVERIFY(!m_repo.getAllSessions(&listed));
        QVERIFY(!m_repo.addData(OVPage(0, QByteArray(512, 'p')), *session, &added));
        m_repo.updateSession(*session, &updated);
        QCOMPARE((QList<OVError>{listed, added, updated}), QList<OVError>(3, rootError));
        QCOMPARE(
            logged(QStringLiteral("Error in applicationDocumentsDirectory [path=%1]. Error: ").arg(root())),
            3);
    }

    void cleanerDeletesSessionDirectoriesWithPagesAndNoRecord_data() {
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

    void cleanerDeletesSessionDirectoriesWithPagesAndNoRecord() {
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
        QVERIFY(QFileInfo(root() + QStringLiteral("/PAGES")).isFile() &&
                QFileInfo(device + QStringLiteral("/PAGES")).isFile());
    }

    void cleanerRemovesTheStrayTemporariesOfRecordWrites_data() {
        QTest::addColumn<QString>("name"); // a file in a session directory that has its record
        QTest::addColumn<int>("ageMinutes");
        QTest::addColumn<bool>("removed");
        QTest::newRow("temporary left by a crash") << QStringLiteral("session.dat.1k3f9z") << 120 << true;
        QTest::newRow("temporary of a write under way") << QStringLiteral("session.dat.1k3f9z") << 1 << false;
        QTest::newRow("kept undecodable record") << QStringLiteral("session.dat.corrupted") << 120 << false;
        QTest::newRow("kept corrupt data") << QStringLiteral("session_data.dat.corrupted") << 120 << false;
        QTest::newRow("not a temporary's name") << QStringLiteral("session.dat.Tmp") << 120 << false;
    }

    void cleanerRemovesTheStrayTemporariesOfRecordWrites() {
        QFETCH(QString, name);
        QFETCH(int, ageMinutes);
        QFETCH(bool, removed);
        auto session = store(QStringLiteral("OVR0000000005"), 1700000000.0, 1, 0);
        QVERIFY(session);
        const QString path = m_repo.getDirectoryPathForSession(*session, nullptr) + QLatin1Char('/') + name;
        QVERIFY(writeFileBytes(path, "partial"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite) &&
                file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-60 * ageMinutes),
                                 QFileDevice::FileModificationTime));
        file.close();

        m_cleaner->cleanInternal();

        QCOMPARE(QFileInfo::exists(path), !removed);
        QVERIFY(m_repo.doesSessionExist(*session, nullptr));
    }

    void updateSessionsWritesEveryRecordItCan_data() {
        QTest::addColumn<QString>("secondSerial");
        QTest::addColumn<bool>("directoryInTheWay"); // a directory named "session.dat" for the second
        QTest::addColumn<int>("errorCode");
        QTest::newRow("every record writable") << QStringLiteral("OVR0000000006") << false << 0;
        QTest::newRow("an unusable serial") << QStringLiteral("..") << false << int(EINVAL);
        QTest::newRow("a directory where the record goes")
            << QStringLiteral("OVR0000000006") << true << int(EISDIR);
    }

    void updateSessionsWritesEveryRecordItCan() {
        QFETCH(QString, secondSerial);
        QFETCH(bool, directoryInTheWay);
        QFETCH(int, errorCode);
        OVSessionList sessions;
        for (const QString& serial :
             {QStringLiteral("OVR0000000006"), secondSerial, QStringLiteral("OVR0000000007")})
            sessions.append(makeStoreSession(serial, 1700000000.0 + sessions.size(), 1, 2));
        OVError error;
        for (const auto& session : sessions)
            m_repo.addSession(*session, &error); // the old records (none for an unusable serial)
        const QString secondRecord = root() + QLatin1Char('/') + secondSerial + QLatin1Char('/') +
                                     OVSessionFileRepository::directoryNameForStart(sessions[1]->start()) +
                                     QStringLiteral("/session.dat");
        if (directoryInTheWay)
            QVERIFY(QFile::remove(secondRecord) && QDir().mkpath(secondRecord));
        for (const auto& session : sessions)
            session->setAlreadySynced(true);

        error = OVError();
        QCOMPARE(m_repo.updateSessions(sessions, &error), errorCode == 0);
        QCOMPARE(error.code(), errorCode);

        for (const int i : {0, 2}) { // the others are written whatever happened to the second
            const std::optional<QByteArray> record =
                OVFileSystem::readFile(m_repo.getSessionFilePath(*sessions[i], nullptr),
                                       OVSessionFileRepository::kMaxRecordFileSize, nullptr);
            QVERIFY(record);
            const auto read = OVSessionFileRepository::convertToSession(*record, nullptr);
            QVERIFY(read && read->alreadySynced());
        }
        // A write that failed leaves nothing of its own behind.
        QDirIterator it(root(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            QVERIFY2(!OVFileSystem::isTemporaryName(it.next().section(QLatin1Char('/'), -1),
                                                    OVSessionFileRepository::kSessionFileName),
                     qPrintable(it.filePath()));
    }

    void cleanerRunsAPassAtOnceThenOnEveryTick() {
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
        const int afterStop = m_cleanerPasses.load();
        QTest::qWait(200); // five intervals in which no tick may come
        QCOMPARE(m_cleanerPasses.load(), afterStop);
    }

    void secondCleanerStartKeepsTheOneHourlyTimer() {
        m_cleaner->startCleaning();
        const QTimer* first = m_cleaner->timer();
        m_cleaner->startCleaning();
        QCOMPARE(m_cleaner->timer(), first);
        QVERIFY(first->isActive());
        QCOMPARE(first->interval(), 3600 * 1000);
        m_cleaner->queue().waitUntilAllOperationsAreFinished();
        QCOMPARE(m_cleanerPasses.load(), 1);
    }

    void exportDamageIsReported_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("contents"); // empty: the file is removed
        QTest::addColumn<QString>("problem");
        QTest::newRow("a payload file added")
            << "data/extra.bin" << QByteArray("x") << "data/extra.bin is not in the manifest";
        QTest::newRow("manifest path leaves the bag")
            << "manifest-sha256.txt" << QByteArray("00  ../outside\n")
            << "manifest-sha256.txt line 1 is malformed";
        QTest::newRow("declaration removed")
            << "bagit.txt" << QByteArray() << "bagit.txt is missing or not a BagIt declaration";
        QTest::newRow("bag-info edited")
            << "bag-info.txt" << QByteArray("Payload-Oxum: 1.2\n") << "Payload-Oxum says 1.2, the payload is";
    }

    void exportDamageIsReported() {
        QFETCH(QString, file);
        QFETCH(QByteArray, contents);
        QFETCH(QString, problem);
        QVERIFY(store(QStringLiteral("OVR0000000000501"), 1796378400.5, 3, 3 * 512));
        OVError error;
        const auto report = OVSessionExporter(&m_repo).exportSessions(outDir(), {}, &error);
        QVERIFY(report && report->bags.size() == 1);
        const QString bag = outDir() + QLatin1Char('/') + report->bags.first();
        if (contents.isEmpty())
            QVERIFY(QFile::remove(bag + QLatin1Char('/') + file));
        else
            QVERIFY(writeFileBytes(bag + QLatin1Char('/') + file, contents));
        const QStringList problems = OVBag::verify(bag);
        QVERIFY2(std::any_of(problems.begin(), problems.end(),
                             [&](const QString& p) { return p.startsWith(problem); }),
                 qPrintable(problems.join(QLatin1String("; "))));
    }

    void indexQuotesFieldsThatWouldSplitARow_data() {
        QTest::addColumn<QString>("firmwareRev");
        QTest::newRow("comma") << QStringLiteral("1.0,9");
        QTest::newRow("quote") << QStringLiteral("1.0\"9");
        QTest::newRow("line feed") << QStringLiteral("1.0\n9");
        QTest::newRow("bare carriage return") << QStringLiteral("1.0\r9");
    }

    void indexQuotesFieldsThatWouldSplitARow() {
        QFETCH(QString, firmwareRev);
        auto session = store(QStringLiteral("OVR0000000000701"), 1000, 1, 512);
        QVERIFY(session);
        session->setFirmwareRev(firmwareRev);
        QVERIFY(m_repo.addSession(*session, nullptr));
        OVError error;
        QVERIFY(OVSessionExporter(&m_repo).exportSessions(outDir(), {}, &error));
        const QByteArray csv = fileBytes(outDir() + QStringLiteral("/sessions.csv"));
        QVERIFY2(csv.contains(",\"" +
                              firmwareRev.replace(QLatin1String("\""), QLatin1String("\"\"")).toUtf8() +
                              "\","),
                 csv.constData());
    }

    // The store holds an account's recordings and is its owner's alone, whatever the umask, even where
    // an earlier version made it open to others; bags are the user's to share, so the umask decides.
    void storeIsOwnerOnlyAndBagsFollowTheUmask_data() {
        QTest::addColumn<int>("mask");
        QTest::addColumn<QString>("bagDirectory");
        QTest::addColumn<QString>("bagFile");
        QTest::newRow("umask 022") << 022 << "d755"
                                   << "f644";
        QTest::newRow("umask 002") << 002 << "d775"
                                   << "f664";
        QTest::newRow("umask 077") << 077 << "d700"
                                   << "f600";
    }

    void storeIsOwnerOnlyAndBagsFollowTheUmask() {
        QFETCH(int, mask);
        QFETCH(QString, bagDirectory);
        QFETCH(QString, bagFile);
        const QString top = m_home->path() + QStringLiteral("/data/OvServices");
        QVERIFY(QDir().mkpath(top) && QFile::setPermissions(top, QFile::Permissions(0x7755)));
        const mode_t saved = ::umask(static_cast<mode_t>(mask));
        const auto session = makeStoreSession(QStringLiteral("OVR0000000000801"), 1000, 100, 2);
        OVError error;
        const auto data = m_repo.openSessionDataForAppending(*session, &error);
        const bool stored = m_repo.addSession(*session, &error) && data &&
                            data->append(QByteArray(1024, 'p'), &error) && data->close(&error) &&
                            m_repo.keepCorruptedCopy(*session, &error) &&
                            m_repo.addData(OVPage(3, QByteArray(512, 'p')), *session, &error);
        const auto report = OVSessionExporter(&m_repo).exportSessions(outDir(), {}, &error);
        ::umask(saved);
        QVERIFY2(stored && report && report->bags.size() == 1, qPrintable(error.description()));

        const QMap<QString, QString> store = modesUnder(top);
        QCOMPARE(store.value(QString()), QStringLiteral("d700"));
        const QString device = QStringLiteral("/DATA/PROD/OVR0000000000801");
        for (const QString& path : {device, device + QStringLiteral("/1000.000000/PAGES")})
            QCOMPARE(store.value(path), QStringLiteral("d700"));
        for (const char* name :
             {"session.dat", "session_data.dat", "session_data.dat.corrupted", "PAGES/ov_3.dat"})
            QCOMPARE(store.value(device + QStringLiteral("/1000.000000/") + QLatin1String(name)),
                     QStringLiteral("f600"));
        const QMap<QString, QString> bags = modesUnder(outDir());
        QCOMPARE(bags.size(),
                 10); // the folder, the index, a bag with its four tag files and a payload of two
        for (auto it = bags.cbegin(); it != bags.cend(); ++it)
            QCOMPARE(it.value(), it.value().startsWith(QLatin1Char('d')) ? bagDirectory : bagFile);
    }

    void exportPicksSessionsAndLeavesIncompleteOnesOut_data() {
        QTest::addColumn<QString>("serial");
        QTest::addColumn<qint64>("start"); // 0: any
        QTest::addColumn<QStringList>("bags");
        const QString a = QStringLiteral("OVR0000000000601_1000.000000");
        const QString c = QStringLiteral("OVR0000000000602_1000.000000");
        QTest::newRow("everything") << QString() << qint64(0) << QStringList{a, kFractionalBag, c};
        QTest::newRow("one session by whole seconds")
            << QStringLiteral("OVR0000000000601") << qint64(2000) << QStringList{kFractionalBag};
        QTest::newRow("unknown device") << QStringLiteral("OVR0000000000699") << qint64(0) << QStringList{};
    }

    void exportPicksSessionsAndLeavesIncompleteOnesOut() {
        QFETCH(QString, serial);
        QFETCH(qint64, start);
        QFETCH(QStringList, bags);
        QVERIFY(store(QStringLiteral("OVR0000000000601"), 1000, 2, 2 * 512));
        QVERIFY(store(QStringLiteral("OVR0000000000601"), 2000.25, 4, 4 * 512));
        QVERIFY(store(QStringLiteral("OVR0000000000602"), 1000, 1, 512));
        QVERIFY(store(QStringLiteral("OVR0000000000602"), 3000, 4, 512)); // still downloading

        const OVSessionExporter::Selection selection{serial,
                                                     start ? std::optional<qint64>(start) : std::nullopt};
        OVError error;
        const auto report = OVSessionExporter(&m_repo).exportSessions(outDir(), selection, &error);
        QVERIFY2(report, qPrintable(error.description()));
        QStringList written = report->bags;
        written.sort();
        QCOMPARE(written, bags);
        QCOMPARE(report->skipped.size(), serial.isEmpty() ? 1 : 0);
        for (const QString& bag : bags)
            QCOMPARE(OVBag::verify(outDir() + QLatin1Char('/') + bag), QStringList());
        const QJsonObject record =
            QJsonDocument::fromJson(fileBytes(outDir() + QLatin1Char('/') + kFractionalBag +
                                              QStringLiteral("/data/session.json")))
                .object(); // times keep their fraction
        QCOMPARE(record.value(QStringLiteral("start")).toObject().value(QStringLiteral("iso8601")).toString(),
                 bags.contains(kFractionalBag) ? QStringLiteral("1970-01-01T00:33:20.250Z") : QString());
        QCOMPARE(QDir(outDir()).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot).size(),
                 bags.size());
    }
};

QTEST_GUILESS_MAIN(tst_OVSessionFileRepository)
#include "tst_OVSessionFileRepository.moc"
