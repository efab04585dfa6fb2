#pragma once

#include "OVLogFormat.h"
#include "OVLogSink.h"

#include <atomic>
#include <chrono>
#include <memory>

class OVFileLogger;
class OVLoggerQueue;

/**
 * The one logging facade. Off until turned on; while on, a line is formatted on the calling thread
 * and handed to one background delivery thread, so the caller never waits for disk and lines from
 * one thread keep their order. Thread-safe.
 */
class OVLogger {
public:
    /** Characters of one line at most; the rest is replaced by a count. */
    static constexpr qsizetype kMaximumLineLength = 16 * 1024;

    static OVLogger& sharedInstance();

    template <typename... Args> void log(const char* format, const Args&... args) {
        if (!isLogOn())
            return;
        deliver(OVLogFormat::format(format, {OVFormatArg(args)...}));
    }

    void turnLogOn() { m_on.store(true, std::memory_order_relaxed); }
    void turnLogOff() { m_on.store(false, std::memory_order_relaxed); }
    bool isLogOn() const { return m_on.load(std::memory_order_relaxed); }

    /**
     * Start-up configuration: the system-log and console sinks, then the rolling file sink in
     * logsDirectory (the default folder when empty) keeping 10 files. Replaces earlier sinks.
     */
    void configure(const QString& logsDirectory = QString());
    void addSink(std::shared_ptr<OVLogSink> sink);
    void removeAllSinks();
    /** The file sink of configure(), or null; the support request zips its manager's files. */
    std::shared_ptr<OVFileLogger> fileLogger() const;
    /** Blocks until every line handed over so far has reached the sinks. */
    void flush();
    /**
     * From now on, lines handed over before the process ends reach the sinks first (up to
     * kDrainLimit): at exit, and on a terminating or crashing signal whose handling is still the
     * default (the signal then ends the process as it would have). Idempotent; configure() calls it.
     */
    void drainOnExit();
    static constexpr std::chrono::milliseconds kDrainLimit{2000};

private:
    OVLogger();
    ~OVLogger();
    void deliver(QString text);
    static void drainAtExit();
    static void drainOnSignal(int signal);

    std::atomic<bool> m_on{false};
    std::unique_ptr<OVLoggerQueue> m_queue;
};

/** Shorthand for OVLogger::sharedInstance().log(...). */
template <typename... Args> inline void OVLog(const char* format, const Args&... args) {
    OVLogger::sharedInstance().log(format, args...);
}
