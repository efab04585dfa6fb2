#include "OVFileLoggerManager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class tst_OVFileLoggerManager : public QObject {
    Q_OBJECT

    static void touch(const QString& path, const QByteArray& content = QByteArray()) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }

private Q_SLOTS:
    void isLogFile_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("isLog");
        QTest::addColumn<qint64>("number");
        QTest::newRow("first file") << "log-1.txt" << true << 1LL;
        QTest::newRow("several digits") << "log-1234.txt" << true << 1234LL;
        QTest::newRow("letters are not a number") << "log-abc.txt" << false << -1LL;
        QTest::newRow("nothing between prefix and dot") << "log-.txt" << false << -1LL;
        QTest::newRow("digits then letters") << "log-12abc.txt" << false << -1LL;
        QTest::newRow("other prefix") << "xlog-1.txt" << false << -1LL;
        QTest::newRow("no extension") << "log-7" << true << 7LL;
        QTest::newRow("the support archive") << "OvServices_logs_20261205101010.zip" << false << -1LL;
        QTest::newRow("signed number is not a log") << "log--3.txt" << false << -1LL;
    }

    void isLogFile() {
        QFETCH(QString, name);
        QFETCH(bool, isLog);
        QFETCH(qint64, number);
        QCOMPARE(OVFileLoggerManager::isLogFile(name), isLog);
        const auto parsed = OVFileLoggerManager::getNumberFromFileName(name);
        QCOMPARE(parsed.value_or(-1), number);
    }

    void numbersFollowTheNewestFile() {
        QTemporaryDir dir;
        OVFileLoggerManager manager(dir.path() + QStringLiteral("/Logs"));
        QCOMPARE(QFileInfo(manager.createNewLogFile()).fileName(), QStringLiteral("log-1.txt"));
        QCOMPARE(QFileInfo(manager.createNewLogFile()).fileName(), QStringLiteral("log-2.txt"));
        touch(manager.logsDirectory() + QStringLiteral("/log-abc.txt"));
        QCOMPARE(manager.sortedLogFilePaths().size(), 2);
        QCOMPARE(QFileInfo(manager.createNewLogFile()).fileName(), QStringLiteral("log-3.txt"));
    }

    // The newest file says 1, but log-2.txt is already there: the manager still finds a free name.
    void takenNameMovesOn() {
        QTemporaryDir dir;
        OVFileLoggerManager manager(dir.path());
        touch(dir.filePath(QStringLiteral("log-2.txt")), "older");
        QTest::qSleep(20);
        touch(dir.filePath(QStringLiteral("log-1.txt")), "newer");
        const QString created = manager.createNewLogFile();
        QCOMPARE(QFileInfo(created).fileName(), QStringLiteral("log-3.txt"));
        QFile older(dir.filePath(QStringLiteral("log-2.txt")));
        QVERIFY(older.open(QIODevice::ReadOnly));
        QCOMPARE(older.readAll(), QByteArray("older"));
    }

    void pruningKeepsTenArchivedAndTheCurrentFile() {
        QTemporaryDir dir;
        OVFileLoggerManager manager(dir.path());
        manager.setMaximumNumberOfLogFiles(10);
        QString current;
        for (int roll = 0; roll <= 11; ++roll) {
            if (!current.isEmpty())
                OVFileLoggerManager::setArchived(current, true);
            current = manager.createNewLogFile();
        }
        const QStringList files = manager.sortedLogFilePaths();
        QCOMPARE(files.size(), 11);
        QCOMPARE(QFileInfo(files.first()).fileName(), QStringLiteral("log-12.txt"));
        QVERIFY(!OVFileLoggerManager::isArchived(files.first()));
        QCOMPARE(QFileInfo(files.last()).fileName(), QStringLiteral("log-2.txt"));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("log-1.txt"))));
    }

    void archivedFlagIsAnExtendedAttribute() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("log-1.txt"));
        touch(path);
        QVERIFY(!OVFileLoggerManager::isArchived(path));
        OVFileLoggerManager::setArchived(path, true);
        QVERIFY(OVFileLoggerManager::isArchived(path));
        QProcess getfattr;
        getfattr.start(QStringLiteral("getfattr"), {QStringLiteral("--only-values"), QStringLiteral("-n"),
                                                    QStringLiteral("user.lumberjack.log.archived"), path});
        QVERIFY(getfattr.waitForFinished());
        QCOMPARE(getfattr.exitCode(), 0);
        OVFileLoggerManager::setArchived(path, false);
        QVERIFY(!OVFileLoggerManager::isArchived(path));
    }

    void uncreatableDirectoryGivesNoFile() {
        QTemporaryDir dir;
        touch(dir.filePath(QStringLiteral("blocker")));
        OVFileLoggerManager manager(dir.filePath(QStringLiteral("blocker/Logs")));
        QVERIFY(manager.createNewLogFile().isEmpty());
        QVERIFY(manager.sortedLogFilePaths().isEmpty());
    }

    // An independent reader (Python's zipfile) sees every log file, newest first, byte for byte.
    void zipIsReadableByPython() {
        QTemporaryDir dir;
        OVFileLoggerManager manager(dir.path());
        QList<QByteArray> contents = {QByteArray("first line\n"),
                                      QByteArray("zweite Zeile: \xc3\xa9t\xc3\xa9\n"),
                                      QByteArray(200000, 'x')};
        for (const QByteArray& content : contents) {
            touch(manager.createNewLogFile(), content);
            QTest::qSleep(20);
        }
        const QString zip = manager.zipLogFiles();
        QVERIFY(QFileInfo(zip).fileName().startsWith(QStringLiteral("OvServices_logs_")));
        QCOMPARE(QFileInfo(zip).absolutePath(), QDir(dir.path()).absolutePath());
        QVERIFY(QFileInfo(zip).fileName().contains(QRegularExpression(QStringLiteral("_\\d{14}\\.zip$"))));

        const char* script =
            "import json, sys, zipfile\n"
            "z = zipfile.ZipFile(sys.argv[1])\n"
            "print(json.dumps([{'name': i.filename, 'data': z.read(i).decode('utf-8'),\n"
            "  'deflated': i.compress_type == zipfile.ZIP_DEFLATED, 'utf8': bool(i.flag_bits & 0x800),\n"
            "  'year': i.date_time[0]} for i in z.infolist()]))\n";
        QProcess python;
        python.start(QStringLiteral("/usr/bin/python3"),
                     {QStringLiteral("-c"), QString::fromLatin1(script), zip});
        QVERIFY(python.waitForFinished());
        QCOMPARE(python.exitCode(), 0);
        const QJsonArray entries = QJsonDocument::fromJson(python.readAllStandardOutput()).array();
        QCOMPARE(entries.size(), 3);
        for (int i = 0; i < 3; ++i) {
            const QJsonObject e = entries.at(i).toObject();
            QCOMPARE(e.value(QStringLiteral("name")).toString(), QStringLiteral("log-%1.txt").arg(3 - i));
            QCOMPARE(e.value(QStringLiteral("data")).toString().toUtf8(), contents.at(2 - i));
            QVERIFY(e.value(QStringLiteral("deflated")).toBool());
            QVERIFY(e.value(QStringLiteral("utf8")).toBool());
            QCOMPARE(e.value(QStringLiteral("year")).toInt(), QDate::currentDate().year());
        }
        QVERIFY(QFileInfo(zip).size() < 200000 / 10);
    }
};

QTEST_GUILESS_MAIN(tst_OVFileLoggerManager)
#include "tst_OVFileLoggerManager.moc"
