#pragma once

#include <QString>

#include <functional>
#include <optional>

class OVCredentialManagerProtocol;
class OVServiceProtocol;

/**
 * Signing in the way the account view does: the web API's account resource checks the user name and
 * password; on success the credential manager stores the user it answered with and the password,
 * and "OnSignIn" is posted on the main thread. A failure leaves the stored credential as it was; so
 * does a sign-in while someone is signed in, which is refused.
 */
class OVAccountSignIn {
public:
    /** None on success, else the text the account view shows under "Authentication failed". */
    using Completion = std::function<void(const std::optional<QString>& failureText)>;

    /** Neither collaborator is owned; both must outlive the sign-in. The completion runs on the main thread.
     */
    static void signIn(OVServiceProtocol* service, OVCredentialManagerProtocol* credentialMgr,
                       const QString& username, const QString& password, Completion completion);
};
