#pragma once

#include <QIcon>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class QAction;
class QMenu;
class QSystemTrayIcon;

/**
 * The service's icon in the panel (StatusNotifierItem or the XEmbed tray, whichever the desktop
 * has) with its menu (open, dashboard, quit), and the animation that runs while any device uploads:
 * frames p1 to p6, one every 0.3 seconds, from the first "OnDeviceSyncStart" until an
 * "OnDeviceSyncDone" after which nothing uploads any more. Lives on the GUI thread; the sync
 * notifications may come from any thread and hop there.
 */
class OVStatusItem : public QObject {
    Q_OBJECT
public:
    static constexpr int kFrameIntervalMs = 300;
    static constexpr int kFrameCount = 6;

    explicit OVStatusItem(QObject* parent = nullptr);
    ~OVStatusItem() override;

    /** Puts the icon in the panel; false (and one log line) when the desktop has no tray. */
    bool show();

    /** Follows the sync notifications; isSynching answers whether any device still uploads. */
    void observeSyncNotifications(std::function<bool()> isSynching);
    void onDeviceSyncStarted();
    void onDeviceSyncStopped();
    void startSyncProgressTimer();
    void stopSyncProgressTimer();
    void updateSyncProgress();

    /** The line under the name in the icon's tooltip (per-device progress); empty for none. */
    void setProgressText(const QString& text);

    bool syncProgressTimerStarted() const { return m_syncTimer.isActive(); }
    int syncProgress() const { return m_syncProgress; }
    /** The resource name of the image shown now: "ov-logo", "ov-logo-p1", … */
    const QString& currentImageName() const { return m_currentImageName; }

    QSystemTrayIcon* trayIcon() const { return m_trayIcon; }
    QMenu* menu() const { return m_menu; }
    QAction* menuItemOpen() const { return m_menuItemOpen; }
    QAction* menuItemOpenDashboard() const { return m_menuItemOpenDashboard; }
    QAction* menuItemQuit() const { return m_menuItemQuit; }

    /** The image of that name from the resources. */
    static QIcon image(const QString& name);

Q_SIGNALS:
    /** "Open" was chosen, or the icon itself was clicked. */
    void showMainWindowRequested();

private:
    void menuItemClick(QAction* sender);
    void setImage(const QString& name);

    /** Owned by this object (Qt parent); the menu is owned here as it has no widget parent. */
    QSystemTrayIcon* m_trayIcon;
    QMenu* m_menu;
    QAction* m_menuItemOpen;
    QAction* m_menuItemOpenDashboard;
    QAction* m_menuItemQuit;
    QTimer m_syncTimer;
    int m_syncProgress = 0;
    QString m_currentImageName;
    std::function<bool()> m_isSynching;
};
