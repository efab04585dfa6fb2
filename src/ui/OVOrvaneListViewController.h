#pragma once

#include "OVBaseViewController.h"

#include <QList>

#include <functional>
#include <memory>
#include <mutex>

namespace Ui {
class OVOrvaneListViewController;
}
class OVCredentialManagerProtocol;
class OVDeviceInfo;
class OVDeviceListSubview;
class OVDeviceManager;
class OVMaintenanceBoard;
class OVNoOrvaneViewController;
class OVOrvaneCell;
class OVOrvanesViewController;
struct OVNotification;

/**
 * The devices entry of the main window: the list of devices, the detail of one, the assign-user
 * view and the signed-out placeholder, one at a time in the same area.
 *
 * The assign-user view is plugged in from outside so that the list does not depend on how it is
 * built: setAssignViewFactory() gives a factory that the list calls once, on the first showAssign();
 * the list then owns the subview, subscribes it before showing it and unsubscribes it when hiding it.
 * GUI thread; notifications and command reports are queued onto it.
 */
class OVOrvaneListViewController : public OVBaseViewController {
    Q_OBJECT
public:
    using SubviewFactory = std::function<std::unique_ptr<OVDeviceListSubview>()>;

    /** None of the collaborators is owned; all must outlive the view. */
    OVOrvaneListViewController(OVDeviceManager* deviceMgr, OVCredentialManagerProtocol* credentialMgr,
                               QWidget* parent = nullptr);
    ~OVOrvaneListViewController() override;

    /** Makes the assign-user view on first use; without one, the assign button stays hidden. */
    void setAssignViewFactory(SubviewFactory factory);
    /** Signs the user out (the application's logout); called when the web API refuses the credentials. */
    void setLogoutHandler(std::function<void()> logout) { m_logout = std::move(logout); }

    void initializeView() override;
    void updateDeviceList();
    void reloadTable();
    void toggleSyncButton();
    std::shared_ptr<OVDeviceInfo> findDeviceBySerial(const QString& serial) const;
    /** A snapshot of the rows, sorted by serial. */
    QList<std::shared_ptr<OVDeviceInfo>> devices() const;

    void showList();
    void hideList();
    void showDetail(const std::shared_ptr<OVDeviceInfo>& device);
    void hideDetail();
    void showAssign();
    void hideAssign();
    void showNoOrvane();
    void hideNoOrvane();
    bool isCurrentlyShowingDetail() const;
    bool isCurrenltyShowAssign() const;
    bool isShowingList() const;

    OVOrvanesViewController* detailController();
    OVNoOrvaneViewController* noOrvaneController();
    OVOrvaneCell* cellForRow(int row) const;

    void onCancelSync();
    void onAssignClick();
    void onBackClick();
    void onPingClick(int row);
    /** A click on a row: opens its device unless it is in recovery mode. */
    void onRowClicked(int row);

    void reloadBatteryLevelForRow(int row);
    void reloadSyncInfoForRow(int row);
    void reloadDefaultUserForRow(int row);
    void reloadRecoveryPercentageForRow(int row, double percentage);

protected:
    void paintColours() override;

private:
    class CommandReports;
    void subscribe();
    void onMain(std::function<void(OVOrvaneListViewController&)> work) const;
    int rowOf(const QString& serial) const;
    void paintCell(OVOrvaneCell& cell, const OVDeviceInfo& device);
    void setDefaultUserOnCell(OVOrvaneCell& cell, const OVDeviceInfo& device);
    void setBatteryLevelOnCell(OVOrvaneCell& cell, const OVDeviceInfo& device);
    void setSyncInfoOnCell(OVOrvaneCell& cell, const OVDeviceInfo& device);
    void setIsConnectedOnCell(OVOrvaneCell& cell, const OVDeviceInfo& device);
    /** Runs paint on the row's existing cell; an exception is logged under context. */
    void refreshRow(int row, const QString& context,
                    const std::function<void(OVOrvaneCell&, OVDeviceInfo&)>& paint);
    void placeSubview(QWidget* view);
    void removeSubview(QWidget* view);
    void onSessionSyncStatusChanged(const OVNotification& notification);
    void onSessionListChanged(const OVNotification& notification);
    /** Prompts about a device that is no longer connected (or listed) are taken off. */
    void withdrawPromptsOfDepartedDevices(const QList<std::shared_ptr<OVDeviceInfo>>& before);

    std::unique_ptr<Ui::OVOrvaneListViewController> m_ui;
    OVDeviceManager* const m_deviceMgr;
    OVCredentialManagerProtocol* const m_credentialMgr;
    /** The devices' maintenance flows: they go on whichever view is shown, and outlive the detail. */
    std::unique_ptr<OVMaintenanceBoard> m_maintenance;
    /** The rows; guarded by m_lock (read from notification threads). */
    QList<std::shared_ptr<OVDeviceInfo>> m_devices;
    mutable std::recursive_mutex m_lock;
    /** Child widgets, made on first use. */
    OVOrvanesViewController* m_detailCtrl = nullptr;
    OVNoOrvaneViewController* m_noOrvanesCtrl = nullptr;
    SubviewFactory m_assignFactory;
    std::unique_ptr<OVDeviceListSubview> m_assignDeviceUserCtrl;
    std::function<void()> m_logout;
    std::shared_ptr<CommandReports> m_reports;
    /** Lives as long as the view; work queued to the GUI thread checks it there. */
    std::shared_ptr<OVOrvaneListViewController*> m_alive;
};
