#pragma once

#include "OVFileLoggerManager.h"
#include "OVLogMessageFormatter.h"
#include "OVLogSink.h"

#include <QFile>

#include <functional>
#include <memory>

/**
 * The rolling log-file sink. The current file is chosen on the first write and after each roll:
 * the newest file is continued while it is not archived, under the size limit and younger than the
 * rolling frequency; otherwise it is archived and a new file is created. Used from the logger's
 * delivery thread only.
 */
class OVFileLogger : public OVLogSink {
public:
    static constexpr qint64 kMaximumFileSize = 1024 * 1024;
    static constexpr qint64 kRollingFrequencySeconds = 24 * 60 * 60;

    explicit OVFileLogger(std::shared_ptr<OVFileLoggerManager> manager);

    void write(const OVLogMessage& message) override;
    void flush() override;
    /** The age limit is kept by the clock too: a current file that reached it is archived. */
    void tick() override;

    OVFileLoggerManager& manager() const { return *m_manager; }
    void setMaximumFileSize(qint64 bytes) { m_maximumFileSize = bytes; }
    void setRollingFrequency(qint64 seconds) { m_rollingFrequency = seconds; }
    /** The clock the age of files is measured with; tests move it forward. */
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

private:
    bool chooseCurrentFile();
    bool isTooOld(const QDateTime& created) const;
    void rollCurrentFile();

    std::shared_ptr<OVFileLoggerManager> m_manager;
    OVLogMessageFormatter m_formatter;
    QFile m_current;
    QDateTime m_currentCreated;
    qint64 m_currentSize = 0; // tracked, since asking the file would flush its buffer
    qint64 m_maximumFileSize = kMaximumFileSize;
    qint64 m_rollingFrequency = kRollingFrequencySeconds;
    std::function<QDateTime()> m_clock = [] { return QDateTime::currentDateTimeUtc(); };
};
