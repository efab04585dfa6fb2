#include "OVControlCommands.h"

#include "AppDelegate.h"
#include "OVAccountSignIn.h"
#include "OVCredentialManager.h"
#include "OVDeviceManager.h"
#include "OVLogger.h"
#include "OVService.h"
#include "OVStallWatchdog.h"
#include "OVStatusReport.h"

#include <QCoreApplication>
#include <QTimer>

void OVControlCommands::install(OVControlServer& server, AppDelegate& delegate) {
    AppDelegate* const app = &delegate;
    server.setHandler(QStringLiteral("reopen"),
                      [app](const QJsonObject&, const OVControlServer::Reply& reply) {
                          app->applicationShouldHandleReopen(false);
                          reply(OVControlServer::success());
                      });
    server.setHandler(
        QStringLiteral("status"),
        [app](const QJsonObject&, const OVControlServer::Reply& reply) { status(*app, reply); });
    server.setHandler(QStringLiteral("sign-in"),
                      [app](const QJsonObject& request, const OVControlServer::Reply& reply) {
                          signIn(*app, request, reply);
                      });
    server.setHandler(QStringLiteral("sign-out"),
                      [app](const QJsonObject&, const OVControlServer::Reply& reply) {
                          if (!app->credentialManager()->isUserSignedIn()) {
                              reply(OVControlServer::failure(QStringLiteral("Nobody is signed in")));
                              return;
                          }
                          app->logout();
                          reply(OVControlServer::success());
                      });
    server.setHandler(QStringLiteral("sync"),
                      [app](const QJsonObject& request, const OVControlServer::Reply& reply) {
                          sync(*app, request, reply);
                      });
    server.setHandler(QStringLiteral("quit"), [](const QJsonObject&, const OVControlServer::Reply& reply) {
        OVLog("Quit requested through the control socket");
        reply(OVControlServer::success());
        // After the answer has been written.
        QTimer::singleShot(0, qApp, [] { QCoreApplication::quit(); });
    });
}

void OVControlCommands::status(AppDelegate& delegate, const OVControlServer::Reply& reply) {
    const auto user = delegate.credentialManager()->isUserSignedIn()
                          ? delegate.credentialManager()->currentUser()
                          : std::nullopt;
    OVDeviceManager* const deviceMgr = delegate.deviceManager();
    reply(OVControlServer::success(
        {{QStringLiteral("status"),
          delegate.stallWatchdog()->progress().addTo(OVStatusReport::build(
              user, deviceMgr->getDevices(), deviceMgr->isStoringSessions(), deviceMgr->isSynching()))}}));
}

void OVControlCommands::signIn(AppDelegate& delegate, const QJsonObject& request,
                               const OVControlServer::Reply& reply) {
    const QString username = request.value(QStringLiteral("username")).toString();
    const QString password = request.value(QStringLiteral("password")).toString();
    if (username.isEmpty() || password.isEmpty()) {
        reply(OVControlServer::failure(QStringLiteral("A user name and a password are needed")));
        return;
    }
    OVAccountSignIn::signIn(delegate.service(), delegate.credentialManager(), username, password,
                            [reply](const std::optional<QString>& failureText) {
                                reply(failureText ? OVControlServer::failure(*failureText)
                                                  : OVControlServer::success());
                            });
}

void OVControlCommands::sync(AppDelegate& delegate, const QJsonObject& request,
                             const OVControlServer::Reply& reply) {
    if (!delegate.credentialManager()->isUserSignedIn()) {
        reply(OVControlServer::failure(QStringLiteral("Nobody is signed in: sign in first")));
        return;
    }
    const QString serial = request.value(QStringLiteral("serial")).toString();
    if (serial.isEmpty()) {
        delegate.deviceManager()->syncAllDevices();
        reply(OVControlServer::success());
        return;
    }
    OVError error;
    const bool asked =
        request.contains(QStringLiteral("start"))
            ? delegate.deviceManager()->forceSyncSession(
                  serial, static_cast<qint64>(request.value(QStringLiteral("start")).toDouble()), &error)
            : delegate.deviceManager()->syncDevice(serial, &error);
    reply(asked ? OVControlServer::success() : OVControlServer::failure(error.description()));
}
