#pragma once

#include "OVCommand.h"
#include "OVLogger.h"

#include <QRegularExpression>
#include <QStringList>
#include <QTest>

#include <memory>
#include <mutex>

/** Captures the log lines of a test; lines are read after OVLogger's flush(). */
class LogCapture : public OVLogSink {
public:
    static std::shared_ptr<LogCapture> install() {
        auto capture = std::make_shared<LogCapture>();
        OVLogger::sharedInstance().removeAllSinks();
        OVLogger::sharedInstance().addSink(capture);
        OVLogger::sharedInstance().turnLogOn();
        return capture;
    }
    void write(const OVLogMessage& message) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.append(message.text);
    }
    QStringList lines() const {
        OVLogger::sharedInstance().flush();
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }
    /** Lines matching a regular expression. */
    int count(const QString& pattern) const {
        const QRegularExpression re(pattern);
        int n = 0;
        for (const QString& line : lines())
            n += re.match(line).hasMatch() ? 1 : 0;
        return n;
    }
    bool has(const QString& line) const { return lines().contains(line); }

private:
    mutable std::mutex m_mutex;
    QStringList m_lines;
};

/** One report a command made. */
struct CommandReport {
    /** Not kept alive by the report: an ended command is let go by everyone. */
    std::weak_ptr<OVCommand> command;
    int status = -1;
    std::any result;
};

/** A command delegate that keeps every report. */
class ReportRecorder : public OVCommandDelegate {
public:
    void onCommandExecuted(const std::shared_ptr<OVCommand>& command, const std::shared_ptr<OrvaneUSBDevice>&,
                           int status, const std::any& result) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_reports.append({command, status, result});
    }
    QList<CommandReport> reports() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_reports;
    }
    QList<int> statuses() const {
        QList<int> out;
        for (const CommandReport& r : reports())
            out << r.status;
        return out;
    }

private:
    mutable std::mutex m_mutex;
    QList<CommandReport> m_reports;
};
