#pragma once

#include "OVLogSink.h"

/** Formats a log-file line: "[yyyy/MM/dd HH:mm:ss:SSS] [thread] \ttext", local time. */
class OVLogMessageFormatter {
public:
    QString formatLogMessage(const OVLogMessage& message) const;
};
