#pragma once

#include "OVLogSink.h"

/** The system log (journald keeps it): the bare message text, no formatter. */
class OVSyslogSink : public OVLogSink {
public:
    OVSyslogSink();
    void write(const OVLogMessage& message) override;

    /** Writes one line straight to the system log, bypassing the facade's switch. */
    static void writeDirect(const QString& text);
};
