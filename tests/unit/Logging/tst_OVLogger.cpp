#include "OVFileLogger.h"
#include "OVLogger.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <mutex>
#include <thread>
#include <vector>

namespace {

class CaptureSink : public OVLogSink {
public:
    void write(const OVLogMessage& message) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.push_back(message);
    }
    std::vector<OVLogMessage> lines() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<OVLogMessage> m_lines;
};

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

OVLogMessage message(const QString& text) {
    return OVLogMessage{QDateTime::currentMSecsSinceEpoch(), 4242, text};
}

} // namespace

class tst_OVLogger : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() {
        OVLogger::sharedInstance().turnLogOff();
        OVLogger::sharedInstance().removeAllSinks();
    }

    void switchedOffReachesNoSinkAndCreatesNoFile() {
        QTemporaryDir dir;
        const QString logs = dir.filePath(QStringLiteral("Logs"));
        OVLogger& logger = OVLogger::sharedInstance();
        logger.configure(logs);
        auto capture = std::make_shared<CaptureSink>();
        logger.addSink(capture);
        OVLog("dropped %@", 1);
        logger.flush();
        QVERIFY(capture->lines().empty());
        QVERIFY(!QDir(logs).exists() || QDir(logs).entryList(QDir::Files).isEmpty());

        logger.turnLogOn();
        OVLog("kept %@", 2);
        logger.turnLogOff();
        OVLog("dropped again");
        logger.flush();
        QCOMPARE(capture->lines().size(), size_t(1));
        QCOMPARE(capture->lines().front().text, QStringLiteral("kept 2"));
        QVERIFY(readFile(logs + QStringLiteral("/log-1.txt")).endsWith("\tkept 2\n"));
    }

    void linesOfEachThreadKeepTheirOrder() {
        OVLogger& logger = OVLogger::sharedInstance();
        auto capture = std::make_shared<CaptureSink>();
        logger.addSink(capture);
        logger.turnLogOn();
        constexpr int kThreads = 8;
        constexpr int kLines = 400;
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([t] {
                for (int i = 0; i < kLines; ++i)
                    OVLog("%i:%i", t, i);
            });
        for (auto& th : threads)
            th.join();
        logger.flush();
        const auto lines = capture->lines();
        QCOMPARE(lines.size(), size_t(kThreads * kLines));
        std::vector<int> next(kThreads, 0);
        std::map<int, int> threadOfWriter;
        for (const auto& line : lines) {
            const QStringList parts = line.text.split(QLatin1Char(':'));
            const int t = parts.at(0).toInt();
            QCOMPARE(parts.at(1).toInt(), next[t]++);
            // Every line carries the numeric id of the thread that wrote it.
            auto known = threadOfWriter.emplace(t, line.threadId).first;
            QCOMPARE(known->second, line.threadId);
        }
        QCOMPARE(int(threadOfWriter.size()), kThreads);
    }

    void fileLineFormat() {
        QTemporaryDir dir;
        OVFileLogger sink(std::make_shared<OVFileLoggerManager>(dir.path()));
        sink.write(message(QStringLiteral("hello\tworld")));
        sink.flush();
        const QString line = QString::fromUtf8(readFile(dir.filePath(QStringLiteral("log-1.txt"))));
        const QRegularExpression pattern(QStringLiteral(
            "^\\[\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}:\\d{3}\\] \\[4242\\] \\thello\\tworld\\n$"));
        QVERIFY2(pattern.match(line).hasMatch(), qPrintable(line));
    }

    void continuesTheNewestFileAcrossRuns() {
        QTemporaryDir dir;
        {
            OVFileLogger first(std::make_shared<OVFileLoggerManager>(dir.path()));
            first.write(message(QStringLiteral("one")));
            first.flush();
        }
        OVFileLogger second(std::make_shared<OVFileLoggerManager>(dir.path()));
        second.write(message(QStringLiteral("two")));
        second.flush();
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 1);
        QCOMPARE(readFile(dir.filePath(QStringLiteral("log-1.txt"))).count('\n'), 2);
    }

    void rollsAtTheSizeLimit() {
        QTemporaryDir dir;
        OVFileLogger sink(std::make_shared<OVFileLoggerManager>(dir.path()));
        sink.setMaximumFileSize(100);
        for (int i = 0; i < 3; ++i)
            sink.write(message(QString(40, QLatin1Char('a'))));
        sink.flush();
        // Two lines of ~80 bytes reach 100 bytes after the second one: the third opens log-2.
        QVERIFY(OVFileLoggerManager::isArchived(dir.filePath(QStringLiteral("log-1.txt"))));
        QCOMPARE(readFile(dir.filePath(QStringLiteral("log-1.txt"))).count('\n'), 2);
        QCOMPARE(readFile(dir.filePath(QStringLiteral("log-2.txt"))).count('\n'), 1);
        QVERIFY(!OVFileLoggerManager::isArchived(dir.filePath(QStringLiteral("log-2.txt"))));
    }

    void rollsAtTheAgeLimit_data() {
        QTest::addColumn<int>("hoursLater");
        QTest::addColumn<int>("files");
        QTest::newRow("younger than a day continues") << 23 << 1;
        QTest::newRow("a day old rolls") << 24 << 2;
    }

    void rollsAtTheAgeLimit() {
        QFETCH(int, hoursLater);
        QFETCH(int, files);
        QTemporaryDir dir;
        OVFileLogger sink(std::make_shared<OVFileLoggerManager>(dir.path()));
        sink.write(message(QStringLiteral("now")));
        sink.setClock(
            [hoursLater] { return QDateTime::currentDateTimeUtc().addSecs(hoursLater * 3600 + 5); });
        sink.write(message(QStringLiteral("later")));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), files);
        // A new run chooses too: an old newest file is archived and not continued.
        OVFileLogger nextRun(std::make_shared<OVFileLoggerManager>(dir.path()));
        nextRun.setClock([] { return QDateTime::currentDateTimeUtc().addDays(2); });
        nextRun.write(message(QStringLiteral("next run")));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), files + 1);
    }

    void elevenRollsKeepTenArchivedPlusCurrent() {
        QTemporaryDir dir;
        auto manager = std::make_shared<OVFileLoggerManager>(dir.path());
        manager->setMaximumNumberOfLogFiles(10);
        OVFileLogger sink(manager);
        // Each long line fills a file by itself; the short last one stays in the current file.
        sink.setMaximumFileSize(60);
        for (int i = 0; i < 12; ++i)
            sink.write(message(QStringLiteral("line %1").arg(i).leftJustified(30, QLatin1Char('.'))));
        sink.write(message(QStringLiteral("current")));
        sink.flush();
        const QStringList files = manager->sortedLogFilePaths();
        QCOMPARE(files.size(), 11);
        int archived = 0;
        for (const QString& f : files)
            archived += OVFileLoggerManager::isArchived(f) ? 1 : 0;
        QCOMPARE(archived, 10);
        QVERIFY(readFile(files.first()).endsWith("\tcurrent\n"));
    }
};

QTEST_GUILESS_MAIN(tst_OVLogger)
#include "tst_OVLogger.moc"
