#pragma once

#include "OVLogSink.h"

/**
 * Formats a log-file line: "[yyyy/MM/dd HH:mm:ss:SSS] [thread] \ttext", local time. Keeps the
 * text of the last second it formatted, since local-time conversion costs more than the rest of a
 * line; so one formatter serves one thread (the logger's delivery thread).
 */
class OVLogMessageFormatter {
public:
    QString formatLogMessage(const OVLogMessage& message);

private:
    qint64 m_cachedSecond = -1;
    QString m_cachedSecondText;
};
