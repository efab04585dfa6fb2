#pragma once

#include "OVUser.h"

#include <QString>

#include <optional>

/** Who is signed in, and the password the web API client authenticates with. Implementations are thread-safe.
 */
class OVCredentialManagerProtocol {
public:
    virtual ~OVCredentialManagerProtocol() = default;

    /** The signed-in user's name, or none. */
    virtual std::optional<QString> getUsername() = 0;
    /** The stored password, or none when there is no user or it cannot be read back. */
    virtual std::optional<QString> getPassword() = 0;
    virtual bool isUserSignedIn() = 0;
    /** Stores the password (encrypted) and the user's profile. */
    virtual void saveCredential(const OVUser& user, const QString& password) = 0;
    virtual void deleteCredential() = 0;
    /** The signed-in user, read from the store the first time it is asked for. */
    virtual std::optional<OVUser> currentUser() = 0;
    /** Replaces the user in memory only. */
    virtual void setCurrentUser(const std::optional<OVUser>& user) = 0;
};
