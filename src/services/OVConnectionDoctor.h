#pragma once

#include <QCoreApplication>
#include <QJsonObject>
#include <QList>
#include <QString>

class OVCredentialManagerProtocol;
class OVServiceProtocol;
class QNetworkReply;

/**
 * Checks what OvServices needs to work and says, for each failure, what to do about it: the device
 * library, each device's mode and link, the web API (reachable, its clock, the stored credentials),
 * the store and log folders, the autostart entry, a tray host, the sleep inhibitor and the update
 * feed. `ovservices doctor` prints the result; a support view shows the same list.
 *
 * run() blocks for up to a few seconds per network check: call it on a worker thread where a window
 * must stay responsive. It creates the store and log folders when missing (as the service would) and a
 * probe file it removes in each; it changes nothing else.
 */
class OVConnectionDoctor {
    Q_DECLARE_TR_FUNCTIONS(OVConnectionDoctor)

public:
    enum class Status { Pass, Fail, Skip };

    /** One check: a short name, its outcome, what was found, and what to do when it failed. */
    struct Check {
        QString name;
        Status status = Status::Skip;
        QString detail;
        QString fix;
        QJsonObject toJson() const;
    };

    /** Free space below which the store check fails: a few long sessions. */
    static constexpr qint64 kMinimumFreeBytes = 512LL * 1024 * 1024;
    /** A server clock further off than this breaks the signed upload requests. */
    static constexpr qint64 kMaximumClockOffsetSeconds = 300;

    /** Neither collaborator is owned; both must outlive the doctor. */
    OVConnectionDoctor(OVCredentialManagerProtocol* credentialMgr, OVServiceProtocol* service);

    /** Runs every check in order; see the class comment on blocking. */
    QList<Check> run();

    static bool allPassed(const QList<Check>& checks);
    /** {"ok": bool, "checks": [{"name", "status": "pass"|"fail"|"skip", "detail", "fix"}]} */
    static QJsonObject toJson(const QList<Check>& checks);
    /** One line per check, with its fix indented below a failure. */
    static QString toText(const QList<Check>& checks);

private:
    QList<Check> checkDevices();
    QList<Check> checkServer();
    Check checkCredentials();
    Check checkWritableFolder(const QString& name, const QString& path, qint64 minimumFreeBytes,
                              const QString& fix);
    Check checkAutostart();
    Check checkTrayHost();
    Check checkSleepInhibitor();
    Check checkUpdateFeed();

    OVCredentialManagerProtocol* m_credentialMgr;
    OVServiceProtocol* m_service;
};
