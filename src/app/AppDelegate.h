#pragma once

#include "OVControlServer.h"

#include <QObject>
#include <QString>

#include <exception>
#include <memory>

class OVCredentialManager;
class OVDeviceManager;
class OVInFlightRequests;
class OVMainWindowController;
class OVPreferencesManager;
class OVService;
class OVStallWatchdog;
class OVStatusItem;

/**
 * The root object of the service: creates the long-lived managers in a fixed order, wires them,
 * starts the storage cleaner, turns an "Unauthorized" answer into a sign-out and listens on the
 * control socket. Holds no device or session logic of its own.
 *
 * Both launch modes run the same sequence; headless never makes a window nor a status item. Lives
 * on the main thread, for the whole process.
 */
class AppDelegate : public QObject {
    Q_OBJECT
public:
    explicit AppDelegate(bool headless, QObject* parent = nullptr);
    ~AppDelegate() override;

    /** The start-up sequence: exception handler, preferences, logger, credentials, web client, startApp. */
    void applicationDidFinishLaunching();
    /** Creates the preferences manager and stores true for every boolean setting never written. */
    void initializePreferences();
    /** The system-log, console and rolling file sinks. */
    void initializeLogger();
    /**
     * The data lookup's client, the device manager and its first refresh, the main window and the
     * status item (with a window only), the storage cleaner.
     */
    void startApp();
    /** Queued to the main thread: forgets the credential and posts "OnSignOut". */
    void logout();
    /** Brings the main window to the front and initialises it; headless, it says so in the log. */
    void showMainWindow();
    /** The running service was activated again: shows the window when none is visible. */
    bool applicationShouldHandleReopen(bool hasVisibleWindows);

    /** Listens for the subcommands on path; see OVControlServer::listen. Before launching. */
    OVControlServer::Listen startControlServer(const QString& path, OVError* error);

    bool isHeadless() const { return m_headless; }
    /** Null before applicationDidFinishLaunching. Owned by the delegate. */
    OVPreferencesManager* preferencesManager() const { return m_prefMgr.get(); }
    OVCredentialManager* credentialManager() const { return m_credentialMgr.get(); }
    OVService* service() const { return m_service.get(); }
    /** Null before startApp. */
    OVDeviceManager* deviceManager() const { return m_deviceMgr.get(); }
    /** Null before startApp; its progress table is what status and the tray tooltip show. */
    OVStallWatchdog* stallWatchdog() const { return m_stallWatchdog; }

    /** Logs an exception that escaped the event loop: "Unhandled exception occurred. …". */
    static void logUnhandledException(std::exception_ptr exception);
    /**
     * The process-wide handler for exceptions nobody catches: it logs them with their call stack,
     * flushes the log and ends the process with abort(), since a terminate handler may not return.
     */
    static void installUncaughtExceptionHandler();

private:
    static void onUncaughtException();
    void createWindowAndStatusItem();

    const bool m_headless;
    /** The web client's exchanges under way; outlives the client, closed first at the end. */
    std::unique_ptr<OVInFlightRequests> m_inFlight;
    std::unique_ptr<OVPreferencesManager> m_prefMgr;
    std::unique_ptr<OVCredentialManager> m_credentialMgr;
    std::unique_ptr<OVService> m_service;
    /** Goes before the collaborators it was given. */
    std::shared_ptr<OVDeviceManager> m_deviceMgr;
    /** Both go before the managers they were given. */
    std::unique_ptr<OVMainWindowController> m_mainWindow;
    std::unique_ptr<OVStatusItem> m_statusItem;
    /** Child of the delegate; answers on the main thread. */
    OVControlServer* m_controlServer = nullptr;
    /** Child of the delegate; watches the device manager's transfers from the main thread. */
    OVStallWatchdog* m_stallWatchdog = nullptr;
};
