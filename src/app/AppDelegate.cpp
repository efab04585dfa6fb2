#include "AppDelegate.h"

#include "OVControlCommands.h"
#include "OVControlServer.h"
#include "OVCredentialManager.h"
#include "OVDataLookup.h"
#include "OVDeviceManager.h"
#include "OVException.h"
#include "OVInFlightRequests.h"
#include "OVLogger.h"
#include "OVMainThread.h"
#include "OVMainWindowController.h"
#include "OVNetworkClock.h"
#include "OVNotificationCenter.h"
#include "OVOrvaneListViewController.h"
#include "OVPreferencesManager.h"
#include "OVService.h"
#include "OVStallWatchdog.h"
#include "OVStatusItem.h"
#include "OVStorageCleaner.h"
#include "SUUpdater.h"

#include <QPointer>

#include <cstdlib>
#include <vector>

AppDelegate::AppDelegate(bool headless, QObject* parent)
    : QObject(parent)
    , m_headless(headless)
    , m_inFlight(std::make_unique<OVInFlightRequests>()) {}

AppDelegate::~AppDelegate() {
    // Quitting never waits on the network: the uploads' record requests end now, and no new one starts.
    if (!m_inFlight->close())
        OVLog("Quitting with web exchanges still under way after %i ms", OVInFlightRequests::kCloseWaitMs);
    OVDataLookup::sharedInstance().detachService();
    // It outlives the delegate: exchanges still ending on worker threads leave it as they end, and
    // the network clock's later queries keep failing at once rather than waiting on the network.
    static auto* const closed = new std::vector<std::unique_ptr<OVInFlightRequests>>();
    closed->push_back(std::move(m_inFlight));
    if (OVStorageCleaner::sharedInstance().isStarted())
        OVStorageCleaner::sharedInstance().stopCleaning();
}

void AppDelegate::applicationDidFinishLaunching() {
    installUncaughtExceptionHandler();
    initializePreferences();
    initializeLogger();
    OVLog("applicationDidFinishLaunching");
    m_credentialMgr = std::make_unique<OVCredentialManager>();
    m_service = std::make_unique<OVService>(m_credentialMgr.get(), m_prefMgr.get());
    m_service->setNetworkAccessFactory(m_inFlight->factory());
    OVNetworkClock::setNetworkAccessFactory(m_inFlight->factory());
    startApp();
}

void AppDelegate::initializePreferences() {
    m_prefMgr = std::make_unique<OVPreferencesManager>();
    if (!m_prefMgr->isAutoSyncSet())
        m_prefMgr->setAutoSync(true);
    if (!m_prefMgr->isAutoStartSet())
        m_prefMgr->setAutoStart(true);
    if (!m_prefMgr->isAutoStoreSet())
        m_prefMgr->setAutoStore(true);
    // No never-written test here: automatic update checks come back on at every launch.
    if (!m_prefMgr->getAutoUpdate())
        m_prefMgr->setAutoUpdate(true);
    if (m_prefMgr->getAllowLog())
        OVLogger::sharedInstance().turnLogOn();
    else
        OVLogger::sharedInstance().turnLogOff();
    if (m_prefMgr->getAutoUpdate())
        SUUpdater::sharedUpdater()->checkForUpdatesInBackground();
}

void AppDelegate::initializeLogger() {
    OVLogger::sharedInstance().configure();
}

void AppDelegate::startApp() {
    OVDataLookup::sharedInstance().setService(m_service.get());
    m_deviceMgr = OVDeviceManager::create(m_service.get(), m_credentialMgr.get(), m_prefMgr.get());
    m_deviceMgr->setRequestsAborter([inFlight = m_inFlight.get()] { inFlight->abortAll(); });
    m_stallWatchdog = new OVStallWatchdog(m_deviceMgr.get(), this);
    m_stallWatchdog->configureFromEnvironment();
    m_stallWatchdog->start();
    // The answer comes on a worker thread, and may come after a quit: the delegate is looked at
    // on the main thread only.
    m_deviceMgr->updateDeviceList([self = QPointer<AppDelegate>(this)](std::optional<OVError> error) {
        // The web API refused the stored credentials.
        if (error && error->isUnauthorized())
            OVMainThread::async([self] {
                if (self)
                    self->logout();
            });
    });
    if (!m_headless)
        createWindowAndStatusItem();
    OVStorageCleaner::sharedInstance().startCleaning();
}

void AppDelegate::createWindowAndStatusItem() {
    m_mainWindow = std::make_unique<OVMainWindowController>(m_deviceMgr.get(), m_credentialMgr.get(),
                                                            m_service.get(), m_prefMgr.get());
    // An upload refused for its credentials, seen by the device list, signs the user out.
    if (auto* list = qobject_cast<OVOrvaneListViewController*>(
            m_mainWindow->viewController(OVMainWindowController::MenuEntry::Orvane)))
        list->setLogoutHandler([this] { logout(); });
    m_statusItem = std::make_unique<OVStatusItem>();
    m_statusItem->observeSyncNotifications([this] { return m_deviceMgr->isSynching(); });
    connect(m_statusItem.get(), &OVStatusItem::showMainWindowRequested, this, &AppDelegate::showMainWindow);
    connect(m_stallWatchdog, &OVStallWatchdog::progressUpdated, m_statusItem.get(),
            [this] { m_statusItem->setProgressText(m_stallWatchdog->progress().toolTipText()); });
    m_statusItem->show();
    showMainWindow();
}

void AppDelegate::logout() {
    OVMainThread::async([this, self = QPointer<AppDelegate>(this)] {
        if (!self)
            return;
        m_credentialMgr->deleteCredential();
        OVDataLookup::sharedInstance().reset();
        OVNotificationCenter::defaultCenter().post(OVNotificationName::OnSignOut);
    });
}

void AppDelegate::showMainWindow() {
    if (!m_mainWindow) {
        OVLog(m_headless ? "No window in headless mode" : "No main window yet: the service is starting");
        return;
    }
    m_mainWindow->show();
    m_mainWindow->raise();
    m_mainWindow->activateWindow();
    m_mainWindow->initializeView();
}

bool AppDelegate::applicationShouldHandleReopen(bool hasVisibleWindows) {
    if (hasVisibleWindows)
        return true;
    showMainWindow();
    return false;
}

OVControlServer::Listen AppDelegate::startControlServer(const QString& path, OVError* error) {
    m_controlServer = new OVControlServer(this);
    OVControlCommands::install(*m_controlServer, *this);
    return m_controlServer->listen(path, error);
}

void AppDelegate::logUnhandledException(std::exception_ptr exception) {
    OVLog("Unhandled exception occurred. Exception: %@. Stack:%@", OVException::describe(exception),
          OVException::callStackOf(exception));
    OVLogger::sharedInstance().flush();
}

void AppDelegate::installUncaughtExceptionHandler() {
    std::set_terminate(&AppDelegate::onUncaughtException);
}

void AppDelegate::onUncaughtException() {
    const std::exception_ptr exception = std::current_exception();
    const QString description = exception ? OVException::describe(exception) : QStringLiteral("(none)");
    const QString stack = exception ? OVException::callStackOf(exception) : OVException::currentCallStack();
    OVLog("Unhandled exception occured. Error: %@. Stack : %@", description, stack);
    OVLogger::sharedInstance().flush();
    // A terminate handler must not return.
    std::abort();
}
