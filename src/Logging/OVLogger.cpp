#include "OVLogger.h"

#include "OVConsoleSink.h"
#include "OVFileLogger.h"
#include "OVLoggerQueue.h"
#include "OVSyslogSink.h"

#include <QDateTime>

#include <sys/syscall.h>
#include <unistd.h>

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
