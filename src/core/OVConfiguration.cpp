#include "OVConfiguration.h"

namespace {
// Development constants, identical to ovcloud's defaults (docs/ovcloud.md). A deployment
// supplies its own at build time.
const char kServerUrl[] = "http://127.0.0.1:8000/api/";
const char kNetworkTimeUrl[] = "http://127.0.0.1:8000/";
const char kAccountSiteUrl[] = "http://127.0.0.1:8000";
const char kDashboardUrl[] = "http://127.0.0.1:8000/dashboard/";
const char kSupportAddress[] = "support@orvane.example";
const char kApiKey[] = "OvDevKey7Lq2Xm9R";
const char kApiSecret[] = "OvDevSecret4ServicesLocal7Tq9Zp2Wn5Hc8Jd";
const char kApiVersion[] = "3.3.0";
const char kApplicationKey[] = "\x1bq7m2x9k4v1c8n5w3r6t0p2y7h4j9d1";
} // namespace

QString OVConfiguration::fromEnvironment(const char* name, const QString& fallback) {
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? fallback : value;
}

QString OVConfiguration::serverUrl() {
    return fromEnvironment("OV_SERVER_URL", QLatin1String(kServerUrl));
}

QString OVConfiguration::networkTimeUrl() {
    return fromEnvironment("OV_NETWORK_TIME_URL", QLatin1String(kNetworkTimeUrl));
}

QString OVConfiguration::accountSiteUrl() {
    return fromEnvironment("OV_ACCOUNT_SITE_URL", QLatin1String(kAccountSiteUrl));
}

QString OVConfiguration::dashboardUrl() {
    return fromEnvironment("OV_DASHBOARD_URL", QLatin1String(kDashboardUrl));
}

QString OVConfiguration::supportAddress() {
    return fromEnvironment("OV_SUPPORT_ADDRESS", QLatin1String(kSupportAddress));
}

QString OVConfiguration::appcastUrl() {
    return qEnvironmentVariable("OV_APPCAST_URL");
}

QString OVConfiguration::apiKey() {
    return fromEnvironment("OV_API_KEY", QLatin1String(kApiKey));
}

QString OVConfiguration::apiSecret() {
    return fromEnvironment("OV_API_SECRET", QLatin1String(kApiSecret));
}

QString OVConfiguration::apiVersion() {
    return QLatin1String(kApiVersion);
}

QString OVConfiguration::applicationKey() {
    return QLatin1String(kApplicationKey);
}
