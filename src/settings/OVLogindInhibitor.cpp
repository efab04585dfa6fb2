#include "OVLogindInhibitor.h"

#include <QDBusMessage>
#include <QDBusReply>

const QString OVLogindInhibitor::kService = QStringLiteral("org.freedesktop.login1");
const QString OVLogindInhibitor::kPath = QStringLiteral("/org/freedesktop/login1");
const QString OVLogindInhibitor::kInterface = QStringLiteral("org.freedesktop.login1.Manager");
const QString OVLogindInhibitor::kKeepAwakeWhat = QStringLiteral("sleep:idle");

OVLogindInhibitor::OVLogindInhibitor(const QDBusConnection& bus, PrepareForSleepHandler handler)
    : m_bus(bus)
    , m_handler(std::move(handler)) {
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("PrepareForSleep"), this,
                  SLOT(onPrepareForSleep(bool)));
}

QDBusUnixFileDescriptor OVLogindInhibitor::inhibit(const QString& what, const QString& why,
                                                   const QString& mode) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Inhibit"));
    call << what << QStringLiteral("OvServices") << why << mode;
    const QDBusReply<QDBusUnixFileDescriptor> reply = m_bus.call(call);
    return reply.isValid() ? reply.value() : QDBusUnixFileDescriptor();
}

bool OVLogindInhibitor::holdKeepAwake() {
    if (!m_keepAwake.isValid())
        m_keepAwake = inhibit(kKeepAwakeWhat, QStringLiteral("An Orvane device is transferring sessions"),
                              QStringLiteral("block"));
    return m_keepAwake.isValid();
}

// The lock is the descriptor: dropping our copy closes it, and logind lets the system sleep again.
void OVLogindInhibitor::releaseKeepAwake() {
    m_keepAwake = QDBusUnixFileDescriptor();
}

bool OVLogindInhibitor::holdSleepDelay() {
    if (!m_sleepDelay.isValid())
        m_sleepDelay =
            inhibit(QStringLiteral("sleep"), QStringLiteral("Announcing sleep to the transfers under way"),
                    QStringLiteral("delay"));
    return m_sleepDelay.isValid();
}

void OVLogindInhibitor::releaseSleepDelay() {
    m_sleepDelay = QDBusUnixFileDescriptor();
}

void OVLogindInhibitor::onPrepareForSleep(bool sleeping) {
    if (m_handler)
        m_handler(sleeping);
}
