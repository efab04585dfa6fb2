#pragma once

#include <QString>

/** The user's settings. Implementations keep no state of their own and are thread-safe. */
class OVPreferencesManagerProtocol {
public:
    virtual ~OVPreferencesManagerProtocol() = default;

    /** True when never set. */
    virtual bool getAllowLog() = 0;
    /** Stores the flag, then switches the logger on or off. */
    virtual void setAllowLog(bool allow) = 0;
    virtual bool isAutoStartSet() = 0;
    virtual bool getAutoStart() = 0;
    /** Stores the flag, then registers (or unregisters) the service as a login item. */
    virtual void setAutoStart(bool autoStart) = 0;
    virtual bool isAutoSyncSet() = 0;
    virtual bool getAutoSync() = 0;
    virtual void setAutoSync(bool autoSync) = 0;
    virtual bool isAutoStoreSet() = 0;
    virtual bool getAutoStore() = 0;
    virtual void setAutoStore(bool autoStore) = 0;
    /** The updater's automatic-check setting. */
    virtual bool getAutoUpdate() = 0;
    virtual void setAutoUpdate(bool autoUpdate) = 0;
    /** Always the built-in web API root, whatever was stored. */
    virtual QString getServerUrl() = 0;
    virtual void setServerUrl(const QString& serverUrl) = 0;
    virtual void resetServerUrl() = 0;
    /** Always the built-in API version. */
    virtual QString getApiVersion() = 0;
    virtual void setApiVersion(const QString& apiVersion) = 0;
    virtual void resetApiVersion() = 0;
};
