#pragma once

#include <QDateTime>
#include <QString>

/** One line on its way to the sinks: the text as the caller formatted it, when and on which thread. */
struct OVLogMessage {
    QDateTime timestamp;
    int threadId = 0;
    QString text;
};

/** A destination of log lines. write() is called on the logger's one delivery thread only. */
class OVLogSink {
public:
    virtual ~OVLogSink() = default;
    virtual void write(const OVLogMessage& message) = 0;
};
