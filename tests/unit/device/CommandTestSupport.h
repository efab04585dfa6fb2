#pragma once

#include "OVCommand.h"
#include "OVLogger.h"
#include "OVTestCapture.h"

#include <QRegularExpression>
#include <QStringList>
#include <QTest>

#include <memory>
#include <mutex>

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
