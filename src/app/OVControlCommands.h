#pragma once

#include "OVControlServer.h"

class AppDelegate;

/**
 * What the running instance does for each subcommand: "reopen", "status", "sign-in", "sign-out",
 * "sync" and "quit". Every handler runs on the main thread; sign-in answers once the web API has.
 */
class OVControlCommands {
public:
    /** Registers the handlers; the delegate must outlive the server. */
    static void install(OVControlServer& server, AppDelegate& delegate);

private:
    static void status(AppDelegate& delegate, const OVControlServer::Reply& reply);
    static void signIn(AppDelegate& delegate, const QJsonObject& request,
                       const OVControlServer::Reply& reply);
    static void sync(AppDelegate& delegate, const QJsonObject& request, const OVControlServer::Reply& reply);
};
