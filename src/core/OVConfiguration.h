#pragma once

#include <QString>

/**
 * The built-in constants of the service, in one place. The URLs and the support address may be
 * overridden by environment variables (listed in the README) so that a test or a demo can point the
 * service at its own servers; the defaults point at the local ovcloud server.
 */
class OVConfiguration {
public:
    /** Web API root, ending with "/api/" (OV_SERVER_URL). */
    static QString serverUrl();
    /** The server whose "Date" header gives network time (OV_NETWORK_TIME_URL). */
    static QString networkTimeUrl();
    /** Account site: sign-up and password-reset pages (OV_ACCOUNT_SITE_URL). */
    static QString accountSiteUrl();
    /** The signed-in user's dashboard (OV_DASHBOARD_URL). */
    static QString dashboardUrl();
    /** Where support requests are mailed (OV_SUPPORT_ADDRESS). */
    static QString supportAddress();
    /** Sparkle-format appcast of application updates; empty means no update checks (OV_APPCAST_URL). */
    static QString appcastUrl();
    /** The API key and secret of request signing; the development values match ovcloud's defaults. */
    static QString apiKey();
    static QString apiSecret();
    static QString apiVersion();
    /** The key that protects the stored password: one control character, then 30 letters and digits. */
    static QString applicationKey();

private:
    static QString fromEnvironment(const char* name, const QString& fallback);
};
