#pragma once

#include "OVLoginItem.h"
#include "OVPreferencesManagerProtocol.h"

class SUUpdater;

/**
 * The user's settings in the per-user settings store ("Allow Log", "Auto Start", "Auto Sync",
 * "Auto Store", "Server Url", "Api Version"), the login item and the updater's automatic checks.
 * Holds no state of its own; thread-safe.
 */
class OVPreferencesManager : public OVPreferencesManagerProtocol {
public:
    /** The user's autostart entry and the shared updater. */
    OVPreferencesManager();
    /** updater is not owned and must outlive the manager. */
    OVPreferencesManager(OVLoginItem loginItem, SUUpdater* updater);

    bool getAllowLog() override;
    void setAllowLog(bool allow) override;
    bool isAutoStartSet() override;
    bool getAutoStart() override;
    void setAutoStart(bool autoStart) override;
    bool isAutoSyncSet() override;
    bool getAutoSync() override;
    void setAutoSync(bool autoSync) override;
    bool isAutoStoreSet() override;
    bool getAutoStore() override;
    void setAutoStore(bool autoStore) override;
    bool getAutoUpdate() override;
    void setAutoUpdate(bool autoUpdate) override;
    QString getServerUrl() override;
    void setServerUrl(const QString& serverUrl) override;
    void resetServerUrl() override;
    QString getApiVersion() override;
    void setApiVersion(const QString& apiVersion) override;
    void resetApiVersion() override;

    /** Seconds between update checks once automatic updates are switched on. */
    static constexpr double kUpdateCheckInterval = 3600.0;

private:
    void registerLoginItem(bool enabled);

    const OVLoginItem m_loginItem;
    SUUpdater* const m_updater;
};
