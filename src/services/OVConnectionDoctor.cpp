#include "OVConnectionDoctor.h"

#include "OVConfiguration.h"
#include "OVCredentialManagerProtocol.h"
#include "OVFileLoggerManager.h"
#include "OVFileSystem.h"
#include "OVLoginItem.h"
#include "OVLogindInhibitor.h"
#include "OVReplyLimits.h"
#include "OVService.h"
#include "OrvaneSocketTransport.h"
#include "OrvaneUSBDeviceManager.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QSettings>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QTemporaryFile>
#include <QThread>
#include <QTimeZone>

#include <chrono>
#include <future>

namespace {
constexpr int kNetworkTimeoutMs = 5000;
// A server dripping its answer keeps the inactivity timeout from ever firing.
constexpr int kNetworkDeadlineSeconds = 15;
constexpr int kDeviceLibraryWaitMs = 2000;
// After the library connects, the time its device lists take to arrive.
constexpr int kDeviceListWaitMs = 500;

using Check = OVConnectionDoctor::Check;
using Status = OVConnectionDoctor::Status;

Check pass(const QString& name, const QString& detail) {
    return Check{name, Status::Pass, detail, QString()};
}

Check fail(const QString& name, const QString& detail, const QString& fix) {
    return Check{name, Status::Fail, detail, fix};
}

Check skip(const QString& name, const QString& detail) {
    return Check{name, Status::Skip, detail, QString()};
}

struct Answer {
    int httpStatus = 0;
    QString error;
    QDateTime date;
};

// One GET, waited for on this thread's own event loop.
Answer fetch(const QString& url) {
    QEventLoop loop; // first: the timers below need the event dispatcher it gives the thread
    QNetworkAccessManager manager;
    manager.setTransferTimeout(kNetworkTimeoutMs);
    QNetworkReply* reply = manager.get(QNetworkRequest(QUrl(url)));
    OVReplyLimits::watch(reply, kNetworkDeadlineSeconds, OVReplyLimits::kMaxJsonAnswerBytes);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    Answer answer;
    if (!OVReplyLimits::exceeded(reply))
        answer.httpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (answer.httpStatus == 0)
        answer.error = OVReplyLimits::transportError(reply).description();
    // The HTTP date form, always in English and GMT.
    const QString date = QString::fromLatin1(reply->rawHeader("Date"));
    answer.date = QLocale::c().toDateTime(date.left(25), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss"));
    answer.date.setTimeZone(QTimeZone::utc());
    reply->deleteLater();
    return answer;
}

// The proxy the system configuration gives for url, as "host:port", or empty when it goes direct.
QString proxyFor(const QString& url) {
    const QList<QNetworkProxy> proxies =
        QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(QUrl(url)));
    if (proxies.isEmpty() || proxies.first().type() == QNetworkProxy::NoProxy)
        return QString();
    return QStringLiteral("%1:%2").arg(proxies.first().hostName()).arg(proxies.first().port());
}

template <typename Predicate> bool waitFor(Predicate predicate, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!predicate()) {
        if (timer.hasExpired(timeoutMs))
            return false;
        QThread::msleep(20);
    }
    return true;
}

QString statusName(Status status) {
    switch (status) {
    case Status::Pass:
        return QStringLiteral("pass");
    case Status::Fail:
        return QStringLiteral("fail");
    case Status::Skip:
        break;
    }
    return QStringLiteral("skip");
}
} // namespace

QJsonObject OVConnectionDoctor::Check::toJson() const {
    return QJsonObject{{QStringLiteral("name"), name},
                       {QStringLiteral("status"), statusName(status)},
                       {QStringLiteral("detail"), detail},
                       {QStringLiteral("fix"), fix}};
}

OVConnectionDoctor::OVConnectionDoctor(OVCredentialManagerProtocol* credentialMgr, OVServiceProtocol* service)
    : m_credentialMgr(credentialMgr)
    , m_service(service) {}

QList<Check> OVConnectionDoctor::run() {
    QList<Check> checks = checkDevices();
    checks += checkServer();
    checks.append(checkCredentials());
    const QString store = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                          QStringLiteral("/OvServices/DATA/PROD");
    checks.append(checkWritableFolder(
        tr("Store folder"), store, kMinimumFreeBytes,
        tr("Make %1 a folder you can write to, on a disk with at least 512 MiB free").arg(store)));
    const QString logs = OVFileLoggerManager::defaultLogsDirectory();
    checks.append(
        checkWritableFolder(tr("Log folder"), logs, 0, tr("Make %1 a folder you can write to").arg(logs)));
    checks.append(checkAutostart());
    checks.append(checkTrayHost());
    checks.append(checkSleepInhibitor());
    checks.append(checkUpdateFeed());
    return checks;
}

QList<Check> OVConnectionDoctor::checkDevices() {
    const QString library = tr("Device library");
    const QString socketPath = OrvaneSocketTransport::defaultSocketPath();
    auto transport = std::make_shared<OrvaneSocketTransport>(socketPath);
    OrvaneUSBDeviceManager manager;
    manager.setTransport(transport);
    if (!waitFor([&] { return transport->isConnected(); }, kDeviceLibraryWaitMs)) {
        manager.setTransport(nullptr);
        return {fail(library, tr("Nothing answers on %1").arg(socketPath),
                     tr("Start the device service (ovdevsim serve), or point OV_DEVSIM_SOCKET at its "
                        "socket"))};
    }
    QThread::msleep(kDeviceListWaitMs);
    QList<Check> checks{pass(library, tr("Connected to %1").arg(socketPath))};
    for (const std::shared_ptr<OrvaneCDCDevice>& device : manager.cdcOrvanes()) {
        const OrvaneDeviceInformations& info = device->deviceInformations();
        const QString name = tr("Device %1").arg(info.serial);
        checks.append(device->isAttached() ? pass(name, tr("Data mode, firmware %1, link at location %2")
                                                            .arg(info.fwRevision)
                                                            .arg(device->locationID()))
                                           : fail(name, tr("Data mode, but the link is gone"),
                                                  tr("Unplug the device and plug it in again")));
    }
    for (const std::shared_ptr<OrvaneUSBDevice>& device : manager.hidOrvanes()) {
        checks.append(fail(tr("Device at location %1").arg(device->locationID()),
                           tr("Recovery mode: its sessions cannot be read"),
                           tr("Keep it plugged in while OvServices runs: it restores the firmware")));
    }
    if (checks.size() == 1)
        checks.append(skip(tr("Devices"), tr("No device is plugged in")));
    manager.setTransport(nullptr);
    return checks;
}

QList<Check> OVConnectionDoctor::checkServer() {
    const QString url = OVConfiguration::serverUrl();
    const Answer answer = fetch(url);
    const QString server = tr("Server");
    const QString clock = tr("Server clock");
    const QString proxy = proxyFor(url);
    const QString route = proxy.isEmpty() ? tr("directly, no proxy") : tr("through the proxy %1").arg(proxy);
    if (answer.httpStatus == 0 || answer.httpStatus >= 500) {
        const QString why =
            answer.httpStatus ? QStringLiteral("HTTP %1").arg(answer.httpStatus) : answer.error;
        const QString fix =
            proxy.isEmpty() ? tr("Check the network connection, a firewall, and the server address "
                                 "(OV_SERVER_URL); set http_proxy and https_proxy if this network needs a "
                                 "proxy")
                            : tr("Check the proxy %1 (http_proxy, https_proxy, no_proxy or the desktop's "
                                 "proxy settings), the network connection and the server address "
                                 "(OV_SERVER_URL)")
                                  .arg(proxy);
        return {fail(server, tr("%1 does not answer (%2): %3").arg(url, route, why), fix),
                skip(clock, tr("The server did not answer"))};
    }
    QList<Check> checks{
        pass(server, tr("%1 answers (HTTP %2), %3").arg(url).arg(answer.httpStatus).arg(route))};
    if (!answer.date.isValid()) {
        checks.append(skip(clock, tr("The answer carries no Date header")));
        return checks;
    }
    const qint64 offset = QDateTime::currentDateTimeUtc().secsTo(answer.date);
    const QString detail = tr("The server's clock is %1 s from this computer's").arg(offset);
    checks.append(qAbs(offset) <= kMaximumClockOffsetSeconds
                      ? pass(clock, detail)
                      : fail(clock, detail,
                             tr("Turn on network time (timedatectl set-ntp true) and check the time "
                                "zone")));
    return checks;
}

Check OVConnectionDoctor::checkCredentials() {
    const QString name = tr("Credentials");
    const std::optional<QString> username = m_credentialMgr->getUsername();
    const std::optional<QString> password = m_credentialMgr->getPassword();
    if (!username || !password)
        return fail(name, tr("Nobody is signed in"), tr("Sign in: ovservices sign-in USER"));
    auto outcome = std::make_shared<std::promise<std::optional<OVError>>>();
    std::future<std::optional<OVError>> done = outcome->get_future();
    m_service->authenticate(
        *username, *password, [outcome](std::optional<OVUser> user, std::optional<OVError> error) {
            outcome->set_value(user ? std::nullopt : std::optional<OVError>(error.value_or(OVError())));
        });
    // The web client's own request timeout ends a hung exchange first.
    if (done.wait_for(std::chrono::minutes(2)) != std::future_status::ready)
        return fail(name, tr("The server did not answer the sign-in"), tr("Check the server check above"));
    const std::optional<OVError> error = done.get();
    if (!error)
        return pass(name, tr("The server accepts the password of %1").arg(*username));
    if (error->isUnauthorized())
        return fail(name, tr("The server refuses the password of %1").arg(*username),
                    tr("Sign out and sign in again with the current password"));
    return fail(name, tr("The sign-in failed: %1").arg(error->description()),
                tr("Check the server check above"));
}

Check OVConnectionDoctor::checkWritableFolder(const QString& name, const QString& path,
                                              qint64 minimumFreeBytes, const QString& fix) {
    // Made as the service makes them, its owner's alone: they will hold the account's recordings and logs.
    OVError ignored;
    OVFileSystem::createDirectory(path, &ignored);
    QTemporaryFile probe(path + QStringLiteral("/.doctor-XXXXXX"));
    if (!QFileInfo(path).isDir() || !probe.open())
        return fail(name, tr("%1 cannot be written to").arg(path), fix);
    probe.close();
    const qint64 free = QStorageInfo(path).bytesAvailable();
    const QString detail = tr("%1 is writable, %2 MiB free").arg(path).arg(free / (1024 * 1024));
    return free >= minimumFreeBytes ? pass(name, detail) : fail(name, detail, fix);
}

Check OVConnectionDoctor::checkAutostart() {
    const QString name = tr("Autostart");
    const OVLoginItem item;
    if (!item.isEnabled())
        return skip(name, tr("OvServices does not start with the session"));
    const QSettings entry(item.entryPath(), QSettings::IniFormat);
    const QString exec = entry.value(QStringLiteral("Desktop Entry/Exec")).toString();
    const QString program = exec.section(QLatin1Char(' '), 0, 0).remove(QLatin1Char('"'));
    if (!QFileInfo(program).isExecutable())
        return fail(name, tr("%1 starts %2, which is not an executable").arg(item.entryPath(), program),
                    tr("Turn \"Start at login\" off and on again in the preferences"));
    return pass(name, tr("%1 starts %2").arg(item.entryPath(), program));
}

Check OVConnectionDoctor::checkTrayHost() {
    const QString name = tr("Tray");
    const QDBusConnection bus = QDBusConnection::sessionBus();
    const QString fix =
        tr("Use a desktop with a system tray (StatusNotifier or XEmbed), or run ovservices --headless");
    if (!bus.isConnected())
        return fail(name, tr("No D-Bus session bus: %1").arg(bus.lastError().message()), fix);
    const QStringList watchers = {QStringLiteral("org.kde.StatusNotifierWatcher"),
                                  QStringLiteral("org.freedesktop.StatusNotifierWatcher")};
    for (const QString& watcher : watchers) {
        if (bus.interface()->isServiceRegistered(watcher))
            return pass(name, tr("%1 is present").arg(watcher));
    }
    if (qEnvironmentVariableIsSet("DISPLAY") && !qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
        return skip(name, tr("No StatusNotifier host; an X11 tray (XEmbed) may still show the icon"));
    return fail(name, tr("No StatusNotifier host on the session bus"), fix);
}

Check OVConnectionDoctor::checkSleepInhibitor() {
    const QString name = tr("Sleep inhibitor");
    const QDBusConnection bus = QDBusConnection::systemBus();
    const QString fix = tr("Without systemd-logind the computer may sleep during a download: "
                           "keep it awake by hand while syncing");
    if (!bus.isConnected())
        return fail(name, tr("No D-Bus system bus: %1").arg(bus.lastError().message()), fix);
    if (!bus.interface()->isServiceRegistered(OVLogindInhibitor::kService))
        return fail(name, tr("%1 is not on the system bus").arg(OVLogindInhibitor::kService), fix);
    return pass(name, tr("%1 is present").arg(OVLogindInhibitor::kService));
}

Check OVConnectionDoctor::checkUpdateFeed() {
    const QString name = tr("Update feed");
    const QString url = OVConfiguration::appcastUrl();
    if (url.isEmpty())
        return skip(name, tr("No update feed is configured"));
    const Answer answer = fetch(url);
    if (answer.httpStatus == 200)
        return pass(name, tr("%1 answers").arg(url));
    const QString why = answer.httpStatus ? QStringLiteral("HTTP %1").arg(answer.httpStatus) : answer.error;
    return fail(name, tr("%1 does not answer: %2").arg(url, why),
                tr("Check the network connection and the feed address (OV_APPCAST_URL)"));
}

bool OVConnectionDoctor::allPassed(const QList<Check>& checks) {
    return std::none_of(checks.begin(), checks.end(),
                        [](const Check& c) { return c.status == Status::Fail; });
}

QJsonObject OVConnectionDoctor::toJson(const QList<Check>& checks) {
    QJsonArray list;
    for (const Check& check : checks)
        list.append(check.toJson());
    return QJsonObject{{QStringLiteral("ok"), allPassed(checks)}, {QStringLiteral("checks"), list}};
}

QString OVConnectionDoctor::toText(const QList<Check>& checks) {
    QString text;
    for (const Check& check : checks) {
        text += QStringLiteral("%1 %2: %3\n")
                    .arg(statusName(check.status).toUpper(), -5)
                    .arg(check.name, check.detail);
        if (check.status == Status::Fail)
            text += QStringLiteral("      fix: %1\n").arg(check.fix);
    }
    return text;
}
