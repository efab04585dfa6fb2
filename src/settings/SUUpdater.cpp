#include "SUUpdater.h"

#include "OVConfiguration.h"
#include "OVHelper.h"
#include "OVLogger.h"
#include "OVReplyLimits.h"
#include "OVUserDefaults.h"
#include "SUAppcast.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

namespace {
const QString kAutomaticChecksKey = QStringLiteral("SUEnableAutomaticChecks");
const QString kCheckIntervalKey = QStringLiteral("SUScheduledCheckInterval");
constexpr double kDefaultCheckInterval = 86400.0;
constexpr int kFeedTimeoutMs = 60 * 1000;
// A feed is a few KiB: a server dripping it is given up on, as the service's own requests are.
constexpr int kFeedDeadlineSeconds = 120;
// A feed lists releases in a few kilobytes; anything far larger is not one.
constexpr qint64 kMaximumFeedSize = 4 * 1024 * 1024;
} // namespace

SUUpdater* SUUpdater::sharedUpdater() {
    static SUUpdater* updater = new SUUpdater();
    return updater;
}

SUUpdater::SUUpdater(QObject* parent)
    : QObject(parent)
    , m_feedURL(OVConfiguration::appcastUrl())
    , m_currentVersion(OVHelper::getApplicationVersion())
    , m_checks(QStringLiteral("com.pellwick.updater"), 1) {}

SUUpdater::~SUUpdater() {
    m_checks.waitUntilAllOperationsAreFinished();
}

bool SUUpdater::automaticallyChecksForUpdates() const {
    return OVUserDefaults::objectForKey(kAutomaticChecksKey).toBool();
}

void SUUpdater::setAutomaticallyChecksForUpdates(bool automaticallyChecks) {
    OVUserDefaults::setObject(automaticallyChecks, kAutomaticChecksKey);
}

double SUUpdater::updateCheckInterval() const {
    bool ok = false;
    const double seconds = OVUserDefaults::objectForKey(kCheckIntervalKey).toDouble(&ok);
    return ok ? seconds : kDefaultCheckInterval;
}

void SUUpdater::setUpdateCheckInterval(double seconds) {
    OVUserDefaults::setObject(seconds, kCheckIntervalKey);
}

QString SUUpdater::feedURL() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_feedURL;
}

void SUUpdater::setFeedURL(const QString& url) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_feedURL = url;
}

QString SUUpdater::currentVersion() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_currentVersion;
}

void SUUpdater::setCurrentVersion(const QString& version) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_currentVersion = version;
}

bool SUUpdater::checkForUpdatesInBackground() {
    const QString feed = feedURL();
    if (feed.isEmpty()) {
        OVLog("Update check skipped: no appcast configured");
        return false;
    }
    const QString current = currentVersion();
    m_checks.addOperationWithBlock([this, feed, current] { check(feed, current); });
    return true;
}

void SUUpdater::waitForBackgroundChecks() {
    m_checks.waitUntilAllOperationsAreFinished();
}

void SUUpdater::check(const QString& feed, const QString& current) {
    OVLog("Checking for updates at %@", feed);
    // First: on the check queue's thread, which Qt did not start, it gives the event dispatcher that the
    // timeout and deadline timers below need.
    QEventLoop loop;
    QNetworkAccessManager manager;
    QNetworkRequest request{QUrl(feed)};
    request.setTransferTimeout(kFeedTimeoutMs);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    QNetworkReply* reply = manager.get(request);
    OVReplyLimits::watch(reply, kFeedDeadlineSeconds, kMaximumFeedSize);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    const QByteArray body = reply->bytesAvailable() <= kMaximumFeedSize ? reply->readAll() : QByteArray();
    const bool failed = reply->error() != QNetworkReply::NoError || OVReplyLimits::exceeded(reply);
    const QString networkErrorText = OVReplyLimits::transportError(reply).description();
    delete reply;

    QString errorText;
    std::optional<SUAppcastItem> update;
    if (failed) {
        errorText = networkErrorText;
    } else {
        OVError parseError;
        if (const std::optional<QList<SUAppcastItem>> items = SUAppcast::parse(body, &parseError))
            update = SUAppcast::bestUpdate(*items, current);
        errorText = parseError.description();
    }
    if (!errorText.isEmpty())
        OVLog("Update check failed: %@", errorText);
    else if (update)
        OVLog("Update available: version %@", update);
    else
        OVLog("No update available: %@ is the newest version", current);
    Q_EMIT updateCheckFinished(update ? update->versionString : QString(), errorText);
}
