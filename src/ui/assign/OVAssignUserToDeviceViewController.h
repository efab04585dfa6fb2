#pragma once
#include "OVBaseViewController.h"
#include "OVDeviceListSubview.h"
#include "OVError.h"
#include "OVTeam.h"

#include <QList>
#include <QPoint>
#include <QSet>

#include <functional>
#include <memory>
#include <optional>

class OVDeviceInfo;
class OVDeviceManagerProtocol;
class OVServiceProtocol;

namespace Ui {
class OVAssignUserToDeviceViewController;
}

/**
 * Makes a user the default user of a connected device: the connected devices with their default
 * users beside the users of a team, filtered by a search. A user is dragged onto a device row (or,
 * without a mouse, the selected user is assigned to the selected device with the Assign button); the
 * row spins until the device answers. Teams come from the shared data lookup.
 *
 * GUI thread only: team answers, device-list notifications and device reports arrive on other
 * threads and are queued onto it.
 */
class OVAssignUserToDeviceViewController : public OVBaseViewController, public OVDeviceListSubview {
    Q_OBJECT
public:
    /** deviceMgr and service are not owned and outlive the view. */
    OVAssignUserToDeviceViewController(OVDeviceManagerProtocol* deviceMgr, OVServiceProtocol* service,
                                       QWidget* parent = nullptr);
    ~OVAssignUserToDeviceViewController() override;

    /** Signs the user out when the web API refuses the credentials. */
    void setLogoutHandler(std::function<void()> logout) { m_logout = std::move(logout); }

    QWidget* subviewWidget() override { return this; }
    void initializeView() override;
    void subscribeToNotifications() override;
    void unsubscribeToNotifications() override;

    void onRefresh();
    void onDoSearch();
    void loadTeams();
    void applyFilter();
    std::optional<OVTeam> getCurrentSelectedTeam() const;
    void updateDeviceList();
    std::optional<OVUser> findUserById(quint64 userId) const;
    std::optional<OVUser> getUserFromIndex(int index) const;
    void setUserId(quint64 userId, const QString& serial);
    void onAssignDefaultUserStart(const std::shared_ptr<OVDeviceInfo>& device, const OVUser& user);
    void onAssignDefaultUser(const QString& serial, bool success, quint64 userId);
    void onGetDefaultUser(const QString& serial, bool success, quint64 userId);

    const QList<std::shared_ptr<OVDeviceInfo>>& devices() const { return m_devices; }
    const QList<OVUser>& athleteToDisplay() const { return m_athleteToDisplay; }
    bool isAssigning(const QString& serial) const { return m_assignDic.contains(serial); }

protected:
    void paintColours() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class CommandSubscriber;

    void onTeamsLoaded(const std::optional<QList<OVTeam>>& teams, const std::optional<OVError>& error);
    void reloadTeamBox();
    void reloadDeviceTable();
    void setLoading(bool loading);
    void assignSelectedUser();
    void updateAssignButton();
    void onUserSelectionChanged();
    /** Selects the chosen device's row wherever it is now, or says that the device has left. */
    void restoreChosenDevice();
    void onDeviceSelectionChanged();
    int rowOfSerial(const QString& serial) const;
    /** The device the user chose, while it is still connected; null otherwise. */
    std::shared_ptr<OVDeviceInfo> chosenDevice() const;
    /** The row of the selected user in the shown list, or -1. */
    int chosenUserRow() const;
    bool handleUserDrag(QEvent* event);
    bool handleDeviceDrop(QEvent* event);
    /** The device row under a drop position; -1 when the position lies between rows or below them. */
    int deviceRowOnto(const QPoint& position) const;

    OVDeviceManagerProtocol* m_deviceMgr;
    /** Held only, as the device manager's other views do. */
    OVServiceProtocol* m_service;
    Ui::OVAssignUserToDeviceViewController* m_ui;
    std::function<void()> m_logout;
    /** Registered with the device manager while shown; forwards reports to the GUI thread. */
    std::shared_ptr<CommandSubscriber> m_subscriber;
    bool m_subscribed = false;
    QList<std::shared_ptr<OVDeviceInfo>> m_devices;
    QList<OVTeam> m_teams;
    QList<OVUser> m_athleteToDisplay;
    /** Serials of the devices with an assignment in flight. */
    QSet<QString> m_assignDic;
    /** The device the user selected, by serial: a plug or an unplug moves its row. */
    QString m_chosenSerial;
    /** The user chosen, by identity: the list is made again when teams load or devices come and go. */
    std::optional<qint64> m_chosenUserId;
    QPoint m_dragStart;
};
