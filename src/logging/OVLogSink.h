#pragma once

#include <QString>

/** One line on its way to the sinks: the text as the caller formatted it, when and on which thread. */
struct OVLogMessage {
    /** Milliseconds since 1970 UTC: cheap to take on the calling thread, made local by the formatter. */
    qint64 timestamp = 0;
    int threadId = 0;
    QString text;
};

/** A destination of log lines. write() is called on the logger's one delivery thread only. */
class OVLogSink {
public:
    virtual ~OVLogSink() = default;
    virtual void write(const OVLogMessage& message) = 0;
    /** Called after each batch of lines, so a sink may buffer within a batch. */
    virtual void flush() {}
    /** Called on the delivery thread about once a minute, lines or not: for work due at a time. */
    virtual void tick() {}
};
