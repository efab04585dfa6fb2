#include "OVAccountSignIn.h"

#include "OVCredentialManagerProtocol.h"
#include "OVLogger.h"
#include "OVMainThread.h"
#include "OVNotificationCenter.h"
#include "OVService.h"

#include <QCoreApplication>

void OVAccountSignIn::signIn(OVServiceProtocol* service, OVCredentialManagerProtocol* credentialMgr,
                             const QString& username, const QString& password, Completion completion) {
    // The account view offers no sign-in while someone is signed in; the records the registry keeps
    // belong to that account until its sign-out.
    if (credentialMgr->isUserSignedIn()) {
        const QString current = credentialMgr->getUsername().value_or(QString());
        OVMainThread::async([completion, current] {
            completion(QStringLiteral("Already signed in as %1: sign out first").arg(current));
        });
        return;
    }
    service->authenticate(
        username, password,
        [credentialMgr, password, completion = std::move(completion)](std::optional<OVUser> user,
                                                                      std::optional<OVError> error) {
            OVMainThread::async([credentialMgr, password, completion, user, error] {
                if (user) {
                    credentialMgr->saveCredential(*user, password);
                    OVLog("Signed in as %@", user->description());
                    OVNotificationCenter::defaultCenter().post(OVNotificationName::OnSignIn);
                    completion(std::nullopt);
                    return;
                }
                const OVError failure = error.value_or(OVError());
                OVLog("Authentication failed. Error:%@", failure.fullDescription());
                if (failure.isUnauthorized()) {
                    completion(QCoreApplication::translate("OVAccountViewController",
                                                           "The email or the password is invalid."));
                    return;
                }
                completion(QStringLiteral("%1. Error:%2")
                               .arg(QCoreApplication::translate("OVAccountViewController",
                                                                "The authentication failed."),
                                    failure.description()));
            });
        });
}
