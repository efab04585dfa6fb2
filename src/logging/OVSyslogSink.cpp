#include "OVSyslogSink.h"

#include <syslog.h>

OVSyslogSink::OVSyslogSink() {
    openlog(nullptr, LOG_PID, LOG_USER);
}

void OVSyslogSink::write(const OVLogMessage& message) {
    writeDirect(message.text);
}

void OVSyslogSink::writeDirect(const QString& text) {
    syslog(LOG_DEBUG, "%s", text.toUtf8().constData());
}
