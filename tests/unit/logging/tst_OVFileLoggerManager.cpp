#include "OVFileLogger.h"
#include "OVFileLoggerManager.h"
#include "OVTestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <sys/xattr.h>

class tst_OVFileLoggerManager : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void isLogFile_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("number"); // -1: not a log file
        QTest::newRow("several digits") << "log-1234.txt" << 1234LL;
        QTest::newRow("letters are not a number") << "log-abc.txt" << -1LL;
        QTest::newRow("nothing between prefix and dot") << "log-.txt" << -1LL;
        QTest::newRow("digits then letters") << "log-12abc.txt" << -1LL;
        QTest::newRow("no extension") << "log-7" << 7LL;
        QTest::newRow("the support archive") << "OvServices_logs_20261205101010.zip" << -1LL;
        QTest::newRow("signed number is not a log") << "log--3.txt" << -1LL;
    }

    void isLogFile() {
        QFETCH(QString, name);
        QFETCH(qint64, number);
        QCOMPARE(OVFileLoggerManager::isLogFile(name), number >= 0);
        QCOMPARE(OVFileLoggerManager::getNumberFromFileName(name).value_or(-1), number);
    }

    // Numbers follow the newest file; a name already taken is skipped, never overwritten.
    void numbersFollowTheNewestFileAndSkipTakenNames() {
        QTemporaryDir dir;
        OVFileLoggerManager manager(dir.path() + QStringLiteral("/Logs"));
        const QString logs = manager.logsDirectory();
        QCOMPARE(QFileInfo(manager.createNewLogFile()).fileName(), QStringLiteral("log-1.txt"));
        QVERIFY(writeFileBytes(logs + QStringLiteral("/log-abc.txt"), QByteArray()));
        QVERIFY(writeFileBytes(logs + QStringLiteral("/log-2.txt"), "older"));
        QTest::qSleep(20);
        QVERIFY(writeFileBytes(logs + QStringLiteral("/log-1.txt"), "newer"));
        QCOMPARE(QFileInfo(manager.createNewLogFile()).fileName(), QStringLiteral("log-3.txt"));
        QCOMPARE(manager.sortedLogFilePaths().size(), 3);
        QCOMPARE(fileBytes(logs + QStringLiteral("/log-2.txt")), QByteArray("older"));
    }

    // An extended attribute other processes read by its name.
    void archivedFlagIsAnExtendedAttribute() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("log-1.txt"));
        QVERIFY(writeFileBytes(path, QByteArray()));
        OVFileLoggerManager::setArchived(path, true);
        QVERIFY(getxattr(QFile::encodeName(path).constData(), "user.lumberjack.log.archived", nullptr, 0) >
                0);
        OVFileLoggerManager::setArchived(path, false);
        QVERIFY(!OVFileLoggerManager::isArchived(path));
    }

    void uncreatableDirectoryGivesNoFile() {
        QTemporaryDir dir;
        QVERIFY(writeFileBytes(dir.filePath(QStringLiteral("blocker")), QByteArray()));
        OVFileLoggerManager manager(dir.filePath(QStringLiteral("blocker/Logs")));
        QVERIFY(manager.createNewLogFile().isEmpty());
        QVERIFY(manager.sortedLogFilePaths().isEmpty());
    }

    // The lines name the account: the folder, every file and the support archive are the owner's
    // alone, also where an earlier version left them open to others.
    void logsAreTheirOwnersAlone() {
        QTemporaryDir dir;
        const QString logs = dir.filePath(QStringLiteral("Logs"));
        const QString earlier = logs + QStringLiteral("/log-1.txt");
        QVERIFY(QDir().mkpath(logs) && QFile::setPermissions(logs, QFile::Permissions(0x7755)));
        QVERIFY(writeFileBytes(earlier, "earlier\n") &&
                QFile::setPermissions(earlier, QFile::Permissions(0x6644)));
        const auto manager = std::make_shared<OVFileLoggerManager>(logs);
        OVFileLogger sink(manager);
        sink.write({0, 1, QStringLiteral("continued")});
        sink.flush();
        const QString next = manager->createNewLogFile();
        const QString zip = manager->zipLogFiles();
        const auto mode = [](const QString& path) {
            struct stat st;
            return ::stat(QFile::encodeName(path).constData(), &st) == 0
                       ? QString::number(st.st_mode & 0777, 8)
                       : QString();
        };
        QCOMPARE((QStringList{mode(logs), mode(earlier), mode(next), mode(zip)}),
                 (QStringList{QStringLiteral("700"), QStringLiteral("600"), QStringLiteral("600"),
                              QStringLiteral("600")}));
        QVERIFY(fileBytes(earlier).startsWith("earlier\n"));
    }

    // An independent reader (Python's zipfile) sees every log file, newest first, byte for byte.
    void zipIsReadableByPython() {
        QTemporaryDir dir;
        OVFileLoggerManager manager(dir.path());
        QList<QByteArray> contents = {QByteArray("first line\n"),
                                      QByteArray("zweite Zeile: \xc3\xa9t\xc3\xa9\n"),
                                      QByteArray(200000, 'x')};
        for (const QByteArray& content : contents) {
            QVERIFY(writeFileBytes(manager.createNewLogFile(), content));
            QTest::qSleep(20);
        }
        const QString zip = manager.zipLogFiles();
        QCOMPARE(QFileInfo(zip).absolutePath(), QDir(dir.path()).absolutePath());
        QVERIFY(QFileInfo(zip).fileName().contains(
            QRegularExpression(QStringLiteral("^OvServices_logs_\\d{14}\\.zip$"))));

        // Each entry deflated, its name marked UTF-8, dated this year; then its name and bytes.
        const char* script = "import datetime, sys, zipfile\n"
                             "z = zipfile.ZipFile(sys.argv[1])\n"
                             "for i in z.infolist():\n"
                             "    assert i.compress_type == zipfile.ZIP_DEFLATED and i.flag_bits & 0x800\n"
                             "    assert i.date_time[0] == datetime.date.today().year\n"
                             "    sys.stdout.buffer.write(i.filename.encode() + b'|' + z.read(i))\n";
        QProcess python;
        python.start(QStringLiteral("/usr/bin/python3"),
                     {QStringLiteral("-c"), QString::fromLatin1(script), zip});
        QVERIFY(python.waitForFinished());
        QCOMPARE(python.exitCode(), 0);
        QCOMPARE(python.readAllStandardOutput(), "log-3.txt|" + contents.at(2) + "log-2.txt|" +
                                                     contents.at(1) + "log-1.txt|" + contents.at(0));
        QVERIFY(QFileInfo(zip).size() < 200000 / 10);
    }
};

QTEST_GUILESS_MAIN(tst_OVFileLoggerManager)
#include "tst_OVFileLoggerManager.moc"
