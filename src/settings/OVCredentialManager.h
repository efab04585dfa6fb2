#pragma once

#include "OVCredentialManagerProtocol.h"

#include <mutex>

/**
 * The signed-in user and password, kept in the per-user settings store: the user as JSON text under
 * "UserJson", the password encrypted under "ep" as raw bytes. Thread-safe: the web API client asks
 * for the credentials from its worker threads.
 */
class OVCredentialManager : public OVCredentialManagerProtocol {
public:
    /** applicationKey protects the password; passwords stored under another key read as absent. */
    explicit OVCredentialManager(QString applicationKey);
    OVCredentialManager();

    std::optional<QString> getUsername() override;
    std::optional<QString> getPassword() override;
    bool isUserSignedIn() override;
    void saveCredential(const OVUser& user, const QString& password) override;
    void deleteCredential() override;
    std::optional<OVUser> currentUser() override;
    void setCurrentUser(const std::optional<OVUser>& user) override;

    /** Takes the user as the signed-in one and stores its profile; after sign-in and profile refreshes. */
    void updateUserProfile(const OVUser& user);

private:
    const QString m_applicationKey;
    std::mutex m_mutex;
    std::optional<OVUser> m_currentUser;
};
