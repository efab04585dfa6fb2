#include "OVPreferencesManager.h"

#include "OVConfiguration.h"
#include "OVLogger.h"
#include "OVUserDefaults.h"
#include "SUUpdater.h"

#include <cstdio>

namespace {

const QString kAllowLog = QStringLiteral("Allow Log");
const QString kAutoStart = QStringLiteral("Auto Start");
const QString kAutoSync = QStringLiteral("Auto Sync");
const QString kAutoStore = QStringLiteral("Auto Store");
const QString kServerUrl = QStringLiteral("Server Url");
const QString kApiVersion = QStringLiteral("Api Version");

bool isSet(const QString& key) {
    return OVUserDefaults::objectForKey(key).isValid();
}

bool boolFor(const QString& key, bool whenAbsent) {
    const QVariant value = OVUserDefaults::objectForKey(key);
    return value.isValid() ? value.toBool() : whenAbsent;
}

void store(const QString& key, const QVariant& value) {
    OVUserDefaults::setObject(value, key);
    OVUserDefaults::synchronize();
}

void remove(const QString& key) {
    OVUserDefaults::removeObjectForKey(key);
    OVUserDefaults::synchronize();
}

} // namespace

OVPreferencesManager::OVPreferencesManager()
    : OVPreferencesManager(OVLoginItem(), SUUpdater::sharedUpdater()) {}

OVPreferencesManager::OVPreferencesManager(OVLoginItem loginItem, SUUpdater* updater)
    : m_loginItem(std::move(loginItem))
    , m_updater(updater) {}

bool OVPreferencesManager::getAllowLog() {
    return boolFor(kAllowLog, true);
}

void OVPreferencesManager::setAllowLog(bool allow) {
    store(kAllowLog, allow);
    if (allow)
        OVLogger::sharedInstance().turnLogOn();
    else
        OVLogger::sharedInstance().turnLogOff();
}

bool OVPreferencesManager::isAutoStartSet() {
    return isSet(kAutoStart);
}

bool OVPreferencesManager::getAutoStart() {
    return boolFor(kAutoStart, false);
}

void OVPreferencesManager::setAutoStart(bool autoStart) {
    store(kAutoStart, autoStart);
    registerLoginItem(autoStart);
}

// The stored choice stands even when the registration fails: the failures are only logged.
void OVPreferencesManager::registerLoginItem(bool enabled) {
    const int registered = m_loginItem.registerApplication();
    if (registered != 0)
        OVLog("Failed to LSRegisterURL '%@': %jd", m_loginItem.executablePath(),
              static_cast<qint64>(registered));
    std::fprintf(stderr, "Setting to %i\n", enabled ? 1 : 0);
    if (!m_loginItem.setEnabled(enabled))
        OVLog("Failed to start Helper");
}

bool OVPreferencesManager::isAutoSyncSet() {
    return isSet(kAutoSync);
}

bool OVPreferencesManager::getAutoSync() {
    return boolFor(kAutoSync, false);
}

void OVPreferencesManager::setAutoSync(bool autoSync) {
    store(kAutoSync, autoSync);
}

bool OVPreferencesManager::isAutoStoreSet() {
    return isSet(kAutoStore);
}

bool OVPreferencesManager::getAutoStore() {
    return boolFor(kAutoStore, false);
}

void OVPreferencesManager::setAutoStore(bool autoStore) {
    store(kAutoStore, autoStore);
}

bool OVPreferencesManager::getAutoUpdate() {
    return m_updater->automaticallyChecksForUpdates();
}

void OVPreferencesManager::setAutoUpdate(bool autoUpdate) {
    if (autoUpdate)
        m_updater->setUpdateCheckInterval(kUpdateCheckInterval);
    m_updater->setAutomaticallyChecksForUpdates(autoUpdate);
    OVUserDefaults::synchronize();
}

QString OVPreferencesManager::getServerUrl() {
    return OVConfiguration::serverUrl();
}

void OVPreferencesManager::setServerUrl(const QString& serverUrl) {
    store(kServerUrl, serverUrl);
}

void OVPreferencesManager::resetServerUrl() {
    remove(kServerUrl);
}

QString OVPreferencesManager::getApiVersion() {
    return OVConfiguration::apiVersion();
}

void OVPreferencesManager::setApiVersion(const QString& apiVersion) {
    store(kApiVersion, apiVersion);
}

void OVPreferencesManager::resetApiVersion() {
    remove(kApiVersion);
}
