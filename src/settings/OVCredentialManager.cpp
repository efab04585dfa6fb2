#include "OVCredentialManager.h"

#include "OVCipher.h"
#include "OVConfiguration.h"
#include "OVException.h"
#include "OVLogger.h"
#include "OVModelBuilder.h"
#include "OVUserDefaults.h"

#include <QStringDecoder>

namespace {
const QString kUserJsonKey = QStringLiteral("UserJson");
const QString kPasswordKey = QStringLiteral("ep");
} // namespace

OVCredentialManager::OVCredentialManager(QString applicationKey)
    : m_applicationKey(std::move(applicationKey)) {}

OVCredentialManager::OVCredentialManager()
    : OVCredentialManager(OVConfiguration::applicationKey()) {}

std::optional<QString> OVCredentialManager::getUsername() {
    const std::optional<OVUser> user = currentUser();
    return user ? user->username : std::nullopt;
}

std::optional<QString> OVCredentialManager::getPassword() {
    if (!getUsername())
        return std::nullopt;
    const QVariant stored = OVUserDefaults::objectForKey(kPasswordKey);
    if (!stored.isValid())
        return std::nullopt;
    const std::optional<QByteArray> plain =
        OVCipher::AES256DecryptWithKey(stored.toByteArray(), m_applicationKey);
    if (!plain || plain->isEmpty())
        return std::nullopt;

    QStringDecoder whole(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString password = whole.decode(*plain);
    if (!whole.hasError())
        return password;
    OVLog("credential initWithData failed.");
    // Second chance: the bytes as a zero-terminated string.
    const qsizetype zero = plain->indexOf('\0');
    QStringDecoder prefix(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = prefix.decode(zero < 0 ? *plain : plain->left(zero));
    if (!prefix.hasError()) {
        OVLog("credential stringWithUTF8String succeed.");
        return text;
    }
    OVLog("credential stringWithUTF8String failed.");
    return std::nullopt;
}

bool OVCredentialManager::isUserSignedIn() {
    const std::optional<QString> password = getPassword();
    const std::optional<QString> username = getUsername();
    return password && !password->isEmpty() && username && !username->isEmpty() && currentUser();
}

void OVCredentialManager::saveCredential(const OVUser& user, const QString& password) {
    const std::optional<QByteArray> encrypted =
        OVCipher::AES256EncryptWithKey(password.toUtf8(), m_applicationKey);
    if (encrypted)
        OVUserDefaults::setObject(*encrypted, kPasswordKey);
    else
        OVUserDefaults::removeObjectForKey(kPasswordKey);
    OVUserDefaults::synchronize();
    updateUserProfile(user);
}

void OVCredentialManager::deleteCredential() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_currentUser.reset();
    }
    OVUserDefaults::removeObjectForKey(kUserJsonKey);
    OVUserDefaults::removeObjectForKey(kPasswordKey);
    OVUserDefaults::synchronize();
}

std::optional<OVUser> OVCredentialManager::currentUser() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_currentUser)
        return m_currentUser;
    const QVariant json = OVUserDefaults::objectForKey(kUserJsonKey);
    if (!json.isValid())
        return std::nullopt;
    OVError error;
    try {
        std::optional<OVUser> user = OVModelBuilder::buildUserFromJson(json.toString().toUtf8(), &error);
        if (user)
            m_currentUser = std::move(user);
        else
            OVLog("Error in building model for logged in user. %@", error.fullDescription());
    } catch (const std::exception& e) {
        // Valid JSON of the wrong shape: the user stays signed out, as with a damaged text.
        OVLog("Error in building model for logged in user. %@", QString::fromUtf8(e.what()));
    }
    return m_currentUser;
}

void OVCredentialManager::setCurrentUser(const std::optional<OVUser>& user) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_currentUser = user;
}

void OVCredentialManager::updateUserProfile(const OVUser& user) {
    setCurrentUser(user);
    std::optional<QString> json;
    OVError error;
    try {
        json = OVModelBuilder::buildJsonFromUser(user, &error);
    } catch (const std::exception&) {
        const std::exception_ptr current = std::current_exception();
        OVLog("Unhandled exception occurred. Exception: %@. Stack:%@", OVException::describe(current),
              OVException::callStackOf(current));
    }
    if (json)
        OVUserDefaults::setObject(*json, kUserJsonKey);
    else
        OVUserDefaults::removeObjectForKey(kUserJsonKey);
    OVUserDefaults::synchronize();
}
