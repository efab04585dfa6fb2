#include "OVLogMessageFormatter.h"

#include "OVLogFormat.h"

#include <QDateTime>

QString OVLogMessageFormatter::formatLogMessage(const OVLogMessage& message) {
    const qint64 second = message.timestamp / 1000;
    if (second != m_cachedSecond) {
        m_cachedSecond = second;
        m_cachedSecondText =
            QDateTime::fromMSecsSinceEpoch(second * 1000).toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
    }
    const QString stamp = m_cachedSecondText + OVLogFormat::format(":%03i", message.timestamp % 1000);
    return OVLogFormat::format("[%@] [%i] \t%@", stamp, message.threadId, message.text);
}
