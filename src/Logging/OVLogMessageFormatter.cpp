#include "OVLogMessageFormatter.h"

#include "OVLogFormat.h"

QString OVLogMessageFormatter::formatLogMessage(const OVLogMessage& message) const
{
    const QString stamp = message.timestamp.toLocalTime().toString(QStringLiteral("yyyy/MM/dd HH:mm:ss:zzz"));
    return OVLogFormat::format("[%@] [%i] \t%@", stamp, message.threadId, message.text);
}
