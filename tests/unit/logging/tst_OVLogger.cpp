#include "OVFileLogger.h"
#include "OVLogger.h"
#include "OVLoggerQueue.h"
#include "OVTestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <mutex>
#include <spawn.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <thread>
#include <vector>

namespace {

struct CaptureSink : OVLogSink {
    void write(const OVLogMessage& message) override {
        std::lock_guard<std::mutex> lock(mutex);
        lines.push_back(message);
    }
    std::mutex mutex;
    std::vector<OVLogMessage> lines; // read after the logger's flush()
};

OVLogMessage message(const QString& text) {
    return OVLogMessage{QDateTime::currentMSecsSinceEpoch(), 4242, text};
}

const char kChildFlag[] = "--log-then-end";

/** Slow enough that lines are still queued when the process ends. */
struct SlowFileSink : OVLogSink {
    void write(const OVLogMessage& m) override {
        QThread::msleep(1);
        file.write(m.text.toUtf8() + '\n');
    }
    void flush() override { file.flush(); }
    QFile file;
};

/** The child process: logs 300 lines and ends at once, by returning from main, SIGTERM or abort(). */
int logThenEnd(const QByteArray& ending, const QString& path) {
    OVLogger& logger = OVLogger::sharedInstance();
    logger.turnLogOn();
    auto sink = std::make_shared<SlowFileSink>();
    sink->file.setFileName(path);
    sink->file.open(QIODevice::WriteOnly);
    logger.addSink(sink);
    logger.drainOnExit();
    for (int i = 0; i < 300; ++i)
        OVLog("line %@", i);
    if (ending == "SIGTERM")
        raise(SIGTERM);
    else if (ending == "abort")
        abort();
    return 0;
}

} // namespace

class tst_OVLogger : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() {
        OVLogger::sharedInstance().turnLogOff();
        OVLogger::sharedInstance().removeAllSinks();
    }

    void switchedOffWritesNothing() {
        QTemporaryDir dir;
        const QString logs = dir.filePath(QStringLiteral("Logs"));
        OVLogger& logger = OVLogger::sharedInstance();
        logger.configure(logs);
        OVLog("dropped %@", 1);
        logger.flush();
        QVERIFY(!QDir(logs).exists() || QDir(logs).entryList(QDir::Files).isEmpty());

        logger.turnLogOn();
        OVLog("kept\t%@", 2);
        logger.turnLogOff();
        OVLog("dropped again");
        logger.flush();
        // One line: its time to the millisecond, its thread, a tab, the text as it was.
        const QString line = QString::fromUtf8(fileBytes(logs + QStringLiteral("/log-1.txt")));
        const QRegularExpression pattern(QStringLiteral(
            "^\\[\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}:\\d{3}\\] \\[\\d+\\] \\tkept\\t2\\n$"));
        QVERIFY2(pattern.match(line).hasMatch(), qPrintable(line));
    }

    void linesOfEachThreadKeepTheirOrder() {
        OVLogger& logger = OVLogger::sharedInstance();
        auto capture = std::make_shared<CaptureSink>();
        logger.addSink(capture);
        logger.turnLogOn();
        constexpr int kThreads = 8;
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([t] {
                for (int i = 0; i < 400; ++i)
                    OVLog("%i:%i", t, i);
            });
        for (auto& th : threads)
            th.join();
        logger.flush();
        QCOMPARE(capture->lines.size(), size_t(kThreads * 400));
        std::map<int, std::pair<int, int>> writers; // writer -> its lines so far, its thread's id
        for (const auto& line : capture->lines) {
            const int t = line.text.section(QLatin1Char(':'), 0, 0).toInt();
            auto& [count, threadId] = writers.try_emplace(t, 0, line.threadId).first->second;
            // In order, and every line carries the numeric id of the thread that wrote it.
            QCOMPARE(line.text, QStringLiteral("%1:%2").arg(t).arg(count++));
            QCOMPARE(line.threadId, threadId);
        }
        QCOMPARE(int(writers.size()), kThreads);
    }

    // A 300 MiB answer once became a 315 MB line, which no file size limit can roll.
    void aLineIsCutAtItsLimit() {
        OVLogger& logger = OVLogger::sharedInstance();
        auto capture = std::make_shared<CaptureSink>();
        logger.addSink(capture);
        logger.turnLogOn();
        const QString answer(8 * 1024 * 1024, QLatin1Char('x'));
        OVLog("Request json returned : %@", answer);
        OVLog("short %@", 1);
        logger.flush();
        QCOMPARE(capture->lines.size(), size_t(2));
        const QString& cut = capture->lines.front().text;
        const QString prefix = QStringLiteral("Request json returned : ");
        const QString rest = QStringLiteral("… (%1 more characters)")
                                 .arg(prefix.size() + answer.size() - OVLogger::kMaximumLineLength);
        QCOMPARE(cut, prefix + answer.left(OVLogger::kMaximumLineLength - prefix.size()) + rest);
        QCOMPARE(capture->lines.back().text, QStringLiteral("short 1"));
    }

    void rollsAtTheAgeLimit_data() {
        QTest::addColumn<int>("hoursOld");
        QTest::addColumn<QString>("seen"); // by the next line, the tick, or the next run
        QTest::addColumn<int>("files");
        QTest::newRow("younger than a day continues") << 23 << "line" << 1;
        QTest::newRow("the next run continues a young file") << 23 << "run" << 1;
        QTest::newRow("a day old rolls") << 24 << "line" << 2;
        QTest::newRow("a day old rolls with no line") << 24 << "tick" << 1;
        QTest::newRow("the next run does not continue it") << 48 << "run" << 2;
        // Where the file system records no birth time, the attribute written at creation is the
        // file's age; the last write is not (a busy file would never roll).
        QTest::newRow("its age is its creation attribute") << 25 << "attribute" << 2;
    }

    void rollsAtTheAgeLimit() {
        QFETCH(int, hoursOld);
        QFETCH(QString, seen);
        QFETCH(int, files);
        QTemporaryDir dir;
        const QByteArray first = QFile::encodeName(dir.filePath(QStringLiteral("log-1.txt")));
        OVFileLogger sink(std::make_shared<OVFileLoggerManager>(dir.path()));
        sink.write(message(QStringLiteral("now")));
        OVFileLogger nextRun(std::make_shared<OVFileLoggerManager>(dir.path()));
        const char attribute[] = "user.ovservices.log.created";
        QVERIFY(getxattr(first.constData(), attribute, nullptr, 0) > 0);
        if (seen == QLatin1String("attribute")) {
            const QByteArray old =
                QByteArray::number(QDateTime::currentMSecsSinceEpoch() - hoursOld * 3600000LL);
            QCOMPARE(setxattr(first.constData(), attribute, old.constData(), size_t(old.size()), 0), 0);
        } else {
            (seen == QLatin1String("run") ? nextRun : sink).setClock([hoursOld] {
                return QDateTime::currentDateTimeUtc().addSecs(hoursOld * 3600 + 5);
            });
        }
        if (seen == QLatin1String("tick"))
            sink.tick();
        else
            (seen == QLatin1String("line") ? sink : nextRun).write(message(QStringLiteral("later")));
        sink.flush();
        nextRun.flush();
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), files);
        // A continued file is appended to, never started over.
        QCOMPARE(fileBytes(QFile::decodeName(first)).count('\n'),
                 files == 1 && seen != QLatin1String("tick") ? 2 : 1);
        QCOMPARE(OVFileLoggerManager::isArchived(QFile::decodeName(first)), hoursOld >= 24);
    }

    void linesQueuedAtTheEndReachTheSinks_data() {
        QTest::addColumn<QByteArray>("ending");
        QTest::addColumn<int>("signal"); // 0: a normal exit
        QTest::newRow("exit") << QByteArray("exit") << 0;
        QTest::newRow("SIGTERM") << QByteArray("SIGTERM") << int(SIGTERM);
        QTest::newRow("abort") << QByteArray("abort") << int(SIGABRT);
    }
    void linesQueuedAtTheEndReachTheSinks() {
        // The last lines are what support reads: they must not die in the queue.
        QFETCH(QByteArray, ending);
        QFETCH(int, signal);
        QTemporaryDir dir;
        const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("child.log")));
        // posix_spawn rather than QProcess: a fork of this threaded process is what sanitizers refuse.
        const QByteArray program = QFile::encodeName(QCoreApplication::applicationFilePath());
        char* childArgv[] = {const_cast<char*>(program.constData()), const_cast<char*>(kChildFlag),
                             ending.data(), const_cast<char*>(path.constData()), nullptr};
        pid_t child = 0;
        QCOMPARE(posix_spawn(&child, program.constData(), nullptr, nullptr, childArgv, environ), 0);
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        if (signal)
            QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == signal); // still ends as it would have
        else
            QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        const QByteArray lines = fileBytes(QFile::decodeName(path));
        QCOMPARE(lines.count('\n'), 300);
        QVERIFY(lines.endsWith("line 299\n"));
    }

    void queueTicksItsSinksWithoutLines() {
        struct TickCounter : OVLogSink {
            void write(const OVLogMessage&) override {}
            void tick() override { ++ticks; }
            std::atomic<int> ticks{0};
        };
        auto counter = std::make_shared<TickCounter>();
        OVLoggerQueue queue(std::chrono::milliseconds(10));
        queue.addSink(counter);
        QTRY_VERIFY(counter->ticks.load() >= 2);
    }

    // A file rolls once it reaches the size limit, not before; thirteen files were opened, so
    // the two oldest are removed, keeping ten archived plus the current one.
    void rollsAtTheSizeLimitKeepingTenArchivedPlusCurrent() {
        QTemporaryDir dir;
        auto manager = std::make_shared<OVFileLoggerManager>(dir.path());
        manager->setMaximumNumberOfLogFiles(10);
        OVFileLogger sink(manager);
        sink.setMaximumFileSize(100); // reached by the second line of ~80 bytes
        for (int i = 0; i < 24; ++i)
            sink.write(message(QString(40, QLatin1Char('a'))));
        sink.write(message(QStringLiteral("current")));
        sink.flush();
        const QStringList files = manager->sortedLogFilePaths();
        QCOMPARE(files.size(), 11);
        QCOMPARE(int(std::count_if(files.begin(), files.end(), OVFileLoggerManager::isArchived)), 10);
        QCOMPARE(fileBytes(files.first()).count('\n'), 1);
        QVERIFY(fileBytes(files.first()).endsWith("\tcurrent\n"));
        QCOMPARE(QFileInfo(files.last()).fileName(), QStringLiteral("log-3.txt"));
        QCOMPARE(fileBytes(files.last()).count('\n'), 2);
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("log-2.txt"))));
    }
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], kChildFlag) == 0)
        return logThenEnd(argv[2], QFile::decodeName(argv[3]));
    tst_OVLogger test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_OVLogger.moc"
