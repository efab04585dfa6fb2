#pragma once

#include "OVOperationQueue.h"

#include <QObject>
#include <QString>

#include <mutex>

/**
 * Checks an appcast feed for newer releases of the service. Its settings live in the per-user settings
 * store under "SUEnableAutomaticChecks" and "SUScheduledCheckInterval". The feed URL is the configured
 * appcast (OV_APPCAST_URL); without one nothing is fetched. Thread-safe.
 */
class SUUpdater : public QObject {
    Q_OBJECT

public:
    /** The process-wide updater; lives until exit. */
    static SUUpdater* sharedUpdater();

    explicit SUUpdater(QObject* parent = nullptr);
    ~SUUpdater() override;

    /** False until switched on. */
    bool automaticallyChecksForUpdates() const;
    void setAutomaticallyChecksForUpdates(bool automaticallyChecks);
    /** Seconds between automatic checks; a day when never set. */
    double updateCheckInterval() const;
    void setUpdateCheckInterval(double seconds);

    QString feedURL() const;
    void setFeedURL(const QString& url);
    /** The version releases are compared with: the application's version unless set. */
    QString currentVersion() const;
    void setCurrentVersion(const QString& version);

    /**
     * Fetches and reads the feed on a background thread, logs what it found and emits
     * updateCheckFinished there. Returns false, fetching nothing, when no feed is configured.
     */
    bool checkForUpdatesInBackground();
    /** Blocks until the checks started so far have ended. */
    void waitForBackgroundChecks();

Q_SIGNALS:
    /** The outcome of a background check: the newest release above ours (empty when none), or why it failed.
     */
    void updateCheckFinished(const QString& newerVersion, const QString& errorText);

private:
    void check(const QString& feed, const QString& current);

    mutable std::mutex m_mutex;
    QString m_feedURL;
    QString m_currentVersion;
    OVOperationQueue m_checks;
};
