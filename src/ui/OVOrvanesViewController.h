#pragma once

#include "OVBaseViewController.h"
#include "OVDeviceListSubview.h"
#include "OVMaintenanceFlow.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include <QStringList>

namespace Ui {
class OVOrvanesViewController;
}
class MessageBoxViewController;
class OVCredentialManagerProtocol;
class OVDeviceInfo;
class OVDeviceManager;
class OVMaintenanceBoard;
class OVSession;
class OVSessionSyncInfo;
struct OVNotification;

/**
 * The detail of one device: identity and battery, the sessions with their status, sync / cancel,
 * the maintenance buttons and their flows, the default user with the offer to take the device, and
 * the export of the selected sessions as bags (on a worker: the store is read a chunk at a time).
 * The device list makes one and hands it each device to show. GUI thread; notifications and
 * command reports arrive on any thread and are queued onto it.
 */
class OVOrvanesViewController : public OVBaseViewController, public OVDeviceListSubview {
    Q_OBJECT
public:
    /** No collaborator is owned; all must outlive the view. The board keeps the maintenance flows. */
    OVOrvanesViewController(OVDeviceManager* deviceMgr, OVCredentialManagerProtocol* credentialMgr,
                            OVMaintenanceBoard* board, QWidget* parent = nullptr);
    ~OVOrvanesViewController() override;

    /** Process-wide: the default user of the shown device has been looked up (or offered). */
    static std::atomic<bool> defaultUserRequested;

    void setDeviceInfo(std::shared_ptr<OVDeviceInfo> device);
    std::shared_ptr<OVDeviceInfo> deviceInfo() const { return m_deviceInfo; }

    void initializeView() override;
    void uninitializeView() override;
    QWidget* subviewWidget() override { return this; }
    void subscribeToNotifications() override;
    void unsubscribeToNotifications() override;

    /** True while the shown device restarts after an update or a restore. */
    bool haveToWaitToReconnect() const;
    void setBatteryLevel(int level);
    void setSessionsInfo();
    void reloadSessionTableView();
    void reloadSyncStatusForSession(const std::shared_ptr<OVSession>& session);
    /** The row of the shown device's session starting when session does; -1 without one. */
    int findSessionIndex(const OVSession& session) const;
    void loadDefaultUser();
    void toggleSyncButton();
    void enable();
    void disable();
    void askForFirmwareUpdate();

    /** Asks where exported sessions go; empty when cancelled. A folder dialog unless tests replace it. */
    void setFolderChooser(std::function<QString()> chooser) { m_folderChooser = std::move(chooser); }
    MessageBoxViewController* messageBox() const { return m_mbCtrl; }
    OVSessionSyncInfo* sessionCell(int row) const;

    void onSyncClick();
    void onIdentifyClick();
    void onUpdateClick();
    void onRestoreClick();
    void onEraseClick();
    void onSyncMenuClick(int row);
    void onRevealClick(int row);
    /** Exports the selected sessions into a chosen folder and says where the bags went. */
    void onExportClick();

protected:
    void paintColours() override;

private:
    class CommandReports;
    /** What an export did: bags written, sessions left out with why, or why it stopped. */
    struct ExportOutcome {
        int bags = 0;
        QStringList skipped;
        QString failure;
    };
    void onExportDone(const QString& folder, const ExportOutcome& outcome);
    void updateExportButton();
    void paintConnection();
    /** Shows the flow of the shown device in this view (its message, its buttons) from now on. */
    void attachMaintenanceFlow();
    /** The flow of the shown device; there is one. */
    OVMaintenanceFlow& flow();
    /** The flow's message goes to the message box in its turn among the window's prompts. */
    void showFlowMessage(const OVMaintenanceMessage& message);
    void renderFlowMessage();
    void onPanelTurn();
    void onPanelWithdrawn();
    /** Takes the message box off and gives the window's prompt turn back. */
    void resetPanel();
    void releasePanel();
    /** Asks (in its turn, window-modal) whether device is to be assigned to the signed-in user. */
    void promptToAssign(const std::shared_ptr<OVDeviceInfo>& device);
    /** Runs work on the GUI thread while the view lives. */
    void onMain(std::function<void(OVOrvanesViewController&)> work) const;
    bool isShown(const QString& serial) const;
    void onFetchStatusChanged(const OVNotification& notification);
    void onSessionSyncStatusChanged(const OVNotification& notification);
    void onSyncStarted(const OVNotification& notification);
    void onSyncDone(const OVNotification& notification);
    void onAssignDefaultUser(const QString& serial, bool success, quint64 userId);
    void showUserName(quint64 userId, QWidget* field);
    void showSessionContextMenu(const QPoint& position);

    std::unique_ptr<Ui::OVOrvanesViewController> m_ui;
    OVDeviceManager* const m_deviceMgr;
    OVCredentialManagerProtocol* const m_credentialMgr;
    std::shared_ptr<OVDeviceInfo> m_deviceInfo;
    OVMaintenanceBoard* const m_board;
    /** Child widget, reused for every message. */
    MessageBoxViewController* m_mbCtrl;
    /** Subscribed to the manager's command reports while the view is shown. */
    std::shared_ptr<CommandReports> m_reports;
    /** Lives as long as the view; work queued to the GUI thread checks it there. */
    std::shared_ptr<OVOrvanesViewController*> m_alive;
    /** What the flow of the shown device wants on screen, shown or waiting for its turn. */
    std::optional<OVMaintenanceMessage> m_flowMessage;
    /** The message box's place among the window's prompts: 0 without one. */
    quint64 m_panelTicket = 0;
    bool m_panelShown = false;
    std::function<QString()> m_folderChooser;
    /** An export is running on its worker (GUI thread only). */
    bool m_exporting = false;
    mutable std::recursive_mutex m_lock;
    bool m_subscribed = false;
};
