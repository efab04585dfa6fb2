#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>

#include <functional>

/**
 * The inhibitor locks of systemd-logind (org.freedesktop.login1.Manager): a lock is held as long as
 * the file descriptor Inhibit() returned stays open. Also relays the PrepareForSleep signal. Lives on
 * the sleep manager's power thread; its public calls are made there (queued from other threads).
 */
class OVLogindInhibitor : public QObject {
    Q_OBJECT
public:
    static const QString kService;
    static const QString kPath;
    static const QString kInterface;
    /** What the keep-awake lock holds off: system sleep and idle (which covers user idle). */
    static const QString kKeepAwakeWhat;

    using PrepareForSleepHandler = std::function<void(bool sleeping)>;

    OVLogindInhibitor(const QDBusConnection& bus, PrepareForSleepHandler handler);

    /** Takes the "block" lock; false, with nothing held, when logind refuses or is absent. */
    bool holdKeepAwake();
    void releaseKeepAwake();
    bool holdsKeepAwake() const { return m_keepAwake.isValid(); }
    /** Takes the "delay" lock for sleep when not held. */
    bool holdSleepDelay();
    void releaseSleepDelay();

private Q_SLOTS:
    void onPrepareForSleep(bool sleeping);

private:
    QDBusUnixFileDescriptor inhibit(const QString& what, const QString& why, const QString& mode);

    QDBusConnection m_bus;
    PrepareForSleepHandler m_handler;
    QDBusUnixFileDescriptor m_keepAwake;
    QDBusUnixFileDescriptor m_sleepDelay;
};
