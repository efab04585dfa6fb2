#include "OVLogger.h"

#include "OVConsoleSink.h"
#include "OVFileLogger.h"
#include "OVLoggerQueue.h"
#include "OVSyslogSink.h"

#include <QDateTime>

#include <csignal>
#include <cstdlib>
#include <mutex>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
// The signals that end a process by default and leave it time to run a handler.
constexpr int kEndingSignals[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL};
} // namespace

OVLogger::OVLogger()
    : m_queue(std::make_unique<OVLoggerQueue>()) {}

OVLogger::~OVLogger() = default;

OVLogger& OVLogger::sharedInstance() {
    // Never destroyed: threads may still log while static objects are torn down at exit.
    static OVLogger* instance = new OVLogger();
    return *instance;
}

void OVLogger::deliver(QString text) {
    OVLogMessage message;
    // Thread ids are asked of the kernel once per thread; lines are many.
    thread_local const int threadId = static_cast<int>(syscall(SYS_gettid));
    message.timestamp = QDateTime::currentMSecsSinceEpoch();
    message.threadId = threadId;
    if (text.size() > kMaximumLineLength) {
        // A line longer than this is an answer or a file pasted into the log: its start says what it
        // was, and the rest would only push the log past its size limit (and older lines out).
        const qsizetype cut = text.size() - kMaximumLineLength;
        text.truncate(kMaximumLineLength);
        text += QStringLiteral("… (%1 more characters)").arg(cut);
    }
    message.text = std::move(text);
    m_queue->enqueue(std::move(message));
}

void OVLogger::configure(const QString& logsDirectory) {
    auto manager = std::make_shared<OVFileLoggerManager>(
        logsDirectory.isEmpty() ? OVFileLoggerManager::defaultLogsDirectory() : logsDirectory);
    manager->setMaximumNumberOfLogFiles(10);
    auto fileLogger = std::make_shared<OVFileLogger>(manager);
    fileLogger->setRollingFrequency(OVFileLogger::kRollingFrequencySeconds);
    m_queue->flush();
    m_queue->setSinks({std::make_shared<OVSyslogSink>(), std::make_shared<OVConsoleSink>(), fileLogger});
    drainOnExit();
}

void OVLogger::drainOnExit() {
    static std::once_flag installed;
    std::call_once(installed, [] {
        std::atexit(drainAtExit);
        for (const int signal : kEndingSignals) {
            struct sigaction current {};
            // Someone else's handler (Qt's, a sanitizer's) stays theirs.
            if (sigaction(signal, nullptr, &current) != 0 || current.sa_handler != SIG_DFL)
                continue;
            struct sigaction drain {};
            drain.sa_handler = drainOnSignal;
            sigemptyset(&drain.sa_mask);
            drain.sa_flags = SA_RESETHAND; // the default action is back for the re-raise
            sigaction(signal, &drain, nullptr);
        }
    });
}

void OVLogger::drainAtExit() {
    sharedInstance().m_queue->drain(kDrainLimit);
}

void OVLogger::drainOnSignal(int signal) {
    sharedInstance().m_queue->drain(kDrainLimit);
    raise(signal); // delivered when this handler returns, with the default action
}

void OVLogger::addSink(std::shared_ptr<OVLogSink> sink) {
    m_queue->addSink(std::move(sink));
}

void OVLogger::removeAllSinks() {
    m_queue->flush();
    m_queue->setSinks({});
}

std::shared_ptr<OVFileLogger> OVLogger::fileLogger() const {
    for (const auto& sink : m_queue->sinks())
        if (auto file = std::dynamic_pointer_cast<OVFileLogger>(sink))
            return file;
    return nullptr;
}

void OVLogger::flush() {
    m_queue->flush();
}
