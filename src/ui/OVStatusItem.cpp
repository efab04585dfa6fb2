#include "OVStatusItem.h"

#include "OVConfiguration.h"
#include "OVLogger.h"
#include "OVMainThread.h"
#include "OVNotificationCenter.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QMenu>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QUrl>

namespace {
const QString kLogo = QStringLiteral("ov-logo");
const QString kLogoHighlighted = QStringLiteral("ov-logo-highlighted");

QString frameName(int frame) {
    return QStringLiteral("ov-logo-p%1").arg(frame);
}
} // namespace

OVStatusItem::OVStatusItem(QObject* parent)
    : QObject(parent)
    , m_trayIcon(new QSystemTrayIcon(this))
    , m_menu(new QMenu())
    , m_menuItemOpen(m_menu->addAction(tr("Open OvServices")))
    , m_menuItemOpenDashboard(m_menu->addAction(tr("Open Dashboard")))
    , m_menuItemQuit(nullptr) {
    m_menu->addSeparator();
    m_menuItemQuit = m_menu->addAction(tr("Quit OvServices"));
    m_menu->setAccessibleName(tr("OvServices menu"));
    connect(m_menu, &QMenu::triggered, this, &OVStatusItem::menuItemClick);
    // The pressed look while the menu is open, unless the animation owns the icon.
    connect(m_menu, &QMenu::aboutToShow, this, [this] {
        if (!syncProgressTimerStarted())
            setImage(kLogoHighlighted);
    });
    connect(m_menu, &QMenu::aboutToHide, this, [this] {
        if (!syncProgressTimerStarted())
            setImage(kLogo);
    });
    m_trayIcon->setContextMenu(m_menu);
    connect(m_trayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            Q_EMIT showMainWindowRequested();
    });
    m_syncTimer.setInterval(kFrameIntervalMs);
    connect(&m_syncTimer, &QTimer::timeout, this, &OVStatusItem::updateSyncProgress);
    setImage(kLogo);
    setProgressText(QString());
}

OVStatusItem::~OVStatusItem() {
    OVNotificationCenter::defaultCenter().removeObserver(this);
    delete m_menu;
}

bool OVStatusItem::show() {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        OVLog("No system tray on this desktop: the main window is the way in");
        return false;
    }
    m_trayIcon->show();
    return true;
}

void OVStatusItem::observeSyncNotifications(std::function<bool()> isSynching) {
    m_isSynching = std::move(isSynching);
    const auto onMain = [self = QPointer<OVStatusItem>(this)](void (OVStatusItem::*handler)()) {
        OVMainThread::async([self, handler] {
            if (self)
                (self.data()->*handler)();
        });
    };
    OVNotificationCenter::defaultCenter().addObserver(
        this, OVNotificationName::OnDeviceSyncStart,
        [onMain](const OVNotification&) { onMain(&OVStatusItem::onDeviceSyncStarted); });
    OVNotificationCenter::defaultCenter().addObserver(
        this, OVNotificationName::OnDeviceSyncDone,
        [onMain](const OVNotification&) { onMain(&OVStatusItem::onDeviceSyncStopped); });
}

// Both decisions run on the GUI thread only, so a start and a stop never interleave without a lock.
void OVStatusItem::onDeviceSyncStarted() {
    if (!syncProgressTimerStarted())
        startSyncProgressTimer();
}

void OVStatusItem::onDeviceSyncStopped() {
    if (!m_isSynching || !m_isSynching())
        stopSyncProgressTimer();
}

void OVStatusItem::startSyncProgressTimer() {
    m_syncProgress = 0;
    m_syncTimer.start();
    // The first frame shows at once.
    updateSyncProgress();
}

void OVStatusItem::stopSyncProgressTimer() {
    m_syncTimer.stop();
    m_syncProgress = 0;
    setImage(kLogo);
}

void OVStatusItem::updateSyncProgress() {
    ++m_syncProgress;
    setImage(frameName(m_syncProgress));
    if (m_syncProgress == kFrameCount)
        m_syncProgress = 0;
}

void OVStatusItem::setProgressText(const QString& text) {
    const QString name = QStringLiteral("OvServices");
    m_trayIcon->setToolTip(text.isEmpty() ? name : name + QLatin1Char('\n') + text);
}

void OVStatusItem::menuItemClick(QAction* sender) {
    if (sender == m_menuItemOpen)
        Q_EMIT showMainWindowRequested();
    else if (sender == m_menuItemOpenDashboard)
        QDesktopServices::openUrl(QUrl(OVConfiguration::dashboardUrl()));
    else if (sender == m_menuItemQuit)
        QCoreApplication::quit();
}

void OVStatusItem::setImage(const QString& name) {
    m_currentImageName = name;
    m_trayIcon->setIcon(image(name));
}

QIcon OVStatusItem::image(const QString& name) {
    return QIcon(QStringLiteral(":/images/%1.svg").arg(name));
}
