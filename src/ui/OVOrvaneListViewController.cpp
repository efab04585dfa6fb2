#include "OVOrvaneListViewController.h"

#include "OVCredentialManagerProtocol.h"
#include "OVDataLookup.h"
#include "OVDeviceCommandDelegate.h"
#include "OVDeviceInfo.h"
#include "OVDeviceListNavigator.h"
#include "OVDeviceListSubview.h"
#include "OVDeviceManager.h"
#include "OVDeviceSyncher.h"
#include "OVDeviceViewPalette.h"
#include "OVHelper.h"
#include "OVLogger.h"
#include "OVMainThread.h"
#include "OVMaintenanceBoard.h"
#include "OVNoOrvaneViewController.h"
#include "OVNotificationCenter.h"
#include "OVOrvaneCell.h"
#include "OVOrvanesViewController.h"
#include "OVPromptQueue.h"
#include "OVScrollPosition.h"
#include "OVStyleManager.h"
#include "OrvaneUSBDevice.h"
#include "ui_OVOrvaneListViewController.h"

#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>

/** Hands the command reports to the list on the GUI thread. */
class OVOrvaneListViewController::CommandReports : public OVDeviceCommandDelegate {
public:
    explicit CommandReports(const OVOrvaneListViewController& view)
        : m_view(view) {}

    void onGetBatteryLevelCompleted(const std::shared_ptr<OVDeviceInfo>& device, int level) override {
        const QString serial = device->serial();
        m_view.onMain([serial, level](OVOrvaneListViewController& v) {
            const int row = v.rowOf(serial);
            if (row >= 0)
                v.devices().at(row)->setBatteryLevel(level);
            v.reloadBatteryLevelForRow(row);
        });
    }
    void onGetDefaultUser(const std::shared_ptr<OVDeviceInfo>& device, bool, quint64) override {
        const QString serial = device->serial();
        m_view.onMain(
            [serial](OVOrvaneListViewController& v) { v.reloadDefaultUserForRow(v.rowOf(serial)); });
    }
    void onRecoverDeviceInProgress(const std::shared_ptr<OrvaneUSBDevice>& device,
                                   double percentage) override {
        const int location = int(device->locationID());
        m_view.onMain([location, percentage](OVOrvaneListViewController& v) {
            const auto rows = v.devices();
            for (int row = 0; row < rows.size(); ++row) {
                if (rows.at(row)->locationId() == location)
                    v.reloadRecoveryPercentageForRow(row, percentage);
            }
        });
    }

private:
    const OVOrvaneListViewController& m_view;
};

OVOrvaneListViewController::OVOrvaneListViewController(OVDeviceManager* deviceMgr,
                                                       OVCredentialManagerProtocol* credentialMgr,
                                                       QWidget* parent)
    : OVBaseViewController(parent)
    , m_ui(std::make_unique<Ui::OVOrvaneListViewController>())
    , m_deviceMgr(deviceMgr)
    , m_credentialMgr(credentialMgr)
    , m_maintenance(std::make_unique<OVMaintenanceBoard>(deviceMgr))
    , m_alive(std::make_shared<OVOrvaneListViewController*>(this)) {
    m_ui->setupUi(this);
    m_reports = std::make_shared<CommandReports>(*this);
    paintColours();
    connect(m_ui->buttonCancelSync, &QPushButton::clicked, this, &OVOrvaneListViewController::onCancelSync);
    connect(m_ui->buttonAssign, &QPushButton::clicked, this, &OVOrvaneListViewController::onAssignClick);
    connect(m_ui->tableViewDevices, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { onRowClicked(m_ui->tableViewDevices->row(item)); });
    connect(m_ui->tableViewDevices, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { onRowClicked(m_ui->tableViewDevices->row(item)); });
    m_ui->backButtonView->onClick(this, [this](OVView*) { onBackClick(); });
    m_ui->buttonAssign->hide();
    m_ui->viewDetailContainer->hide();
    m_ui->backButtonContainerView->hide();
    subscribe();
}

OVOrvaneListViewController::~OVOrvaneListViewController() {
    OVNotificationCenter::defaultCenter().removeObserver(this);
    if (m_deviceMgr)
        m_deviceMgr->unSubscribeToCommandNotification(m_reports);
    if (m_assignDeviceUserCtrl)
        m_assignDeviceUserCtrl->unsubscribeToNotifications();
}

void OVOrvaneListViewController::paintColours() {
    const QColor backColour = OVStyleManager::getOrvaneList_BackButtonBackgroundColor();
    m_ui->backButtonView->setBackgroundColor(backColour);
    m_ui->backButtonImage->setPixmap(OVDeviceViewPalette::image(QStringLiteral("back_arrow"), 18));
    QPalette back = m_ui->backButtonLabel->palette();
    back.setColor(QPalette::WindowText, OVStyleManager::textOn(backColour));
    m_ui->backButtonLabel->setPalette(back);
    QPalette table = m_ui->tableViewDevices->palette();
    table.setColor(QPalette::Base, OVStyleManager::getOrvane_DeviceBackgroundColor());
    table.setColor(QPalette::AlternateBase, OVStyleManager::getOrvane_DeviceButtonBackgroundColor());
    table.setColor(QPalette::Highlight, OVStyleManager::getOrvane_DeviceButtonBackgroundColor());
    m_ui->tableViewDevices->setPalette(table);
    reloadTable(); // the rows paint their texts when made
}

void OVOrvaneListViewController::subscribe() {
    auto& center = OVNotificationCenter::defaultCenter();
    center.addObserver(this, OVNotificationName::OnDeviceListChanged, [this](const OVNotification&) {
        onMain([](OVOrvaneListViewController& v) {
            if (v.m_credentialMgr && v.m_credentialMgr->isUserSignedIn())
                v.updateDeviceList();
        });
    });
    center.addObserver(this, OVNotificationName::OnSignOut, [this](const OVNotification&) {
        onMain([](OVOrvaneListViewController& v) {
            {
                std::lock_guard<std::recursive_mutex> lock(v.m_lock);
                v.m_devices.clear();
            }
            v.reloadTable();
            v.showList();
        });
    });
    auto syncChanged = [this](const OVNotification& n) {
        const auto syncher = n.objectAs<OVDeviceSyncher>();
        const QString serial = syncher ? syncher->getDeviceSerial() : QString();
        onMain([serial](OVOrvaneListViewController& v) {
            v.toggleSyncButton();
            v.reloadSyncInfoForRow(v.rowOf(serial));
        });
    };
    center.addObserver(this, OVNotificationName::OnDeviceSyncStart, syncChanged);
    center.addObserver(this, OVNotificationName::OnDeviceSyncDone, syncChanged);
    center.addObserver(this, OVNotificationName::OnDeviceSessionFetchStatusChanged,
                       [this](const OVNotification& n) {
                           const auto device = n.objectAs<OVDeviceInfo>();
                           const QString serial = device ? device->serial() : QString();
                           onMain([serial](OVOrvaneListViewController& v) {
                               const int row = v.rowOf(serial);
                               if (row < 0)
                                   return;
                               v.toggleSyncButton();
                               v.reloadSyncInfoForRow(row);
                           });
                       });
    center.addObserver(this, OVNotificationName::OnSessionSyncStatusChanged,
                       [this](const OVNotification& n) { onSessionSyncStatusChanged(n); });
    center.addObserver(this, OVNotificationName::OnSessionListChangedForDevice,
                       [this](const OVNotification& n) { onSessionListChanged(n); });
    center.addObserver(
        this, OVNotificationName::kNetworkReachabilityChangedNotification,
        [this](const OVNotification&) { onMain([](OVOrvaneListViewController& v) { v.reloadTable(); }); });
    if (m_deviceMgr)
        m_deviceMgr->subscribeToCommandNotification(m_reports);
}

void OVOrvaneListViewController::onMain(std::function<void(OVOrvaneListViewController&)> work) const {
    OVMainThread::async(
        [alive = std::weak_ptr<OVOrvaneListViewController*>(m_alive), work = std::move(work)] {
            if (const auto view = alive.lock())
                work(**view);
        });
}

void OVOrvaneListViewController::setAssignViewFactory(SubviewFactory factory) {
    m_assignFactory = std::move(factory);
    m_ui->buttonAssign->setVisible(m_assignFactory && isShowingList());
}

void OVOrvaneListViewController::initializeView() {
    updateDeviceList();
}

QList<std::shared_ptr<OVDeviceInfo>> OVOrvaneListViewController::devices() const {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    return m_devices;
}

std::shared_ptr<OVDeviceInfo> OVOrvaneListViewController::findDeviceBySerial(const QString& serial) const {
    return OVDeviceListNavigator::findDeviceBySerial(devices(), serial);
}

int OVOrvaneListViewController::rowOf(const QString& serial) const {
    const auto rows = devices();
    for (int row = 0; row < rows.size(); ++row) {
        if (rows.at(row)->serial() == serial)
            return row;
    }
    return -1;
}

void OVOrvaneListViewController::updateDeviceList() {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    const auto before = m_devices;
    m_devices = m_deviceMgr ? m_deviceMgr->getDevices() : QList<std::shared_ptr<OVDeviceInfo>>();
    OVHelper::sortDevicesAsc(m_devices);
    withdrawPromptsOfDepartedDevices(before);
    reloadTable();
    OVDeviceListNavigator::Situation situation;
    situation.signedIn = m_credentialMgr && m_credentialMgr->isUserSignedIn();
    situation.showing = isCurrentlyShowingDetail() ? OVDeviceListPane::Detail
                        : isCurrenltyShowAssign()  ? OVDeviceListPane::Assign
                                                   : OVDeviceListPane::List;
    if (m_detailCtrl && m_detailCtrl->deviceInfo())
        situation.shownSerial = m_detailCtrl->deviceInfo()->serial();
    situation.waitToReconnect = m_maintenance->haveToWaitToReconnect(situation.shownSerial);
    const auto decision = OVDeviceListNavigator::afterDeviceListChange(
        situation, m_devices,
        [this](const std::shared_ptr<OVDeviceInfo>& d) { return m_deviceMgr->isDeviceRecovering(d); });
    using A = OVDeviceListNavigator::Action;
    switch (decision.action) {
    case A::ShowNoOrvane:
        showNoOrvane();
        break;
    case A::ShowDetail:
        showDetail(decision.device);
        break;
    case A::RefreshAssign:
        if (m_assignDeviceUserCtrl)
            m_assignDeviceUserCtrl->initializeView();
        break;
    case A::ShowList:
        showList();
        break;
    case A::Keep:
        break;
    }
}

void OVOrvaneListViewController::reloadTable() {
    auto* table = m_ui->tableViewDevices;
    const OVScrollPosition keepScroll(table);
    table->clear();
    const auto rows = [this] {
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        OVHelper::sortDevicesAsc(m_devices);
        return m_devices;
    }();
    for (const auto& device : rows) {
        auto* cell = new OVOrvaneCell;
        paintCell(*cell, *device);
        const QString serial = device->serial();
        connect(cell->identify, &QPushButton::clicked, this, [this, serial] { onPingClick(rowOf(serial)); });
        auto* item = new QListWidgetItem(table);
        // As wide as the cell's least: the list gives each row the viewport's width, and a row whose texts
        // are longer than a narrow window elides them rather than push Identify out of sight.
        item->setSizeHint(QSize(cell->minimumSizeHint().width(), cell->sizeHint().height()));
        item->setData(Qt::AccessibleTextRole, serial);
        table->setItemWidget(item, cell);
    }
    // Signed in without a device: say what to do rather than show an empty box.
    table->setVisible(!rows.isEmpty());
    m_ui->labelNoDevice->setVisible(rows.isEmpty());
}

OVOrvaneCell* OVOrvaneListViewController::cellForRow(int row) const {
    auto* item = m_ui->tableViewDevices->item(row);
    return item ? qobject_cast<OVOrvaneCell*>(m_ui->tableViewDevices->itemWidget(item)) : nullptr;
}

void OVOrvaneListViewController::paintCell(OVOrvaneCell& cell, const OVDeviceInfo& device) {
    cell.device->setText(device.serial());
    setDefaultUserOnCell(cell, device);
    setBatteryLevelOnCell(cell, device);
    setSyncInfoOnCell(cell, device);
    setIsConnectedOnCell(cell, device);
}

void OVOrvaneListViewController::setDefaultUserOnCell(OVOrvaneCell& cell, const OVDeviceInfo& device) {
    const auto userId = device.defaultUserId();
    auto& lookup = OVDataLookup::sharedInstance();
    if (!userId || lookup.areUsersLoaded()) {
        cell.user->setText(OVOrvaneCellModel::userText(userId ? lookup.findUserById(*userId) : std::nullopt));
        return;
    }
    QPointer<QLabel> target(cell.user);
    lookup.findUserById(*userId, [target](std::optional<OVUser> user, std::optional<OVError>) {
        OVMainThread::async([target, user] {
            if (target)
                target->setText(OVOrvaneCellModel::userText(user));
        });
    });
}

void OVOrvaneListViewController::setBatteryLevelOnCell(OVOrvaneCell& cell, const OVDeviceInfo& device) {
    const int level = device.batteryLevel();
    cell.battery->setText(OVOrvaneCellModel::batteryText(level));
    cell.batteryIcon->setPixmap(OVDeviceViewPalette::image(OVOrvaneCellModel::batteryIcon(level), 24));
}

void OVOrvaneListViewController::setSyncInfoOnCell(OVOrvaneCell& cell, const OVDeviceInfo& device) {
    cell.syncInfoText->hide();
    cell.syncInfoCount->hide();
    cell.syncErrorImage->hide();
    const auto sessions = device.sessions();
    const auto shared = findDeviceBySerial(device.serial());
    const bool storing = shared && m_deviceMgr && m_deviceMgr->isStoringSessionsForDevice(shared);
    const bool syncing = shared && m_deviceMgr && m_deviceMgr->isDeviceSynching(shared);
    const OVOrvaneCellState state = OVOrvaneCellModel::syncState(sessions, storing, syncing);
    cell.setState(state);
    if (state == OVOrvaneCellState::NoSessions) {
        cell.syncInfoText->setText(tr("No sessions"));
        cell.syncInfoText->show();
        return;
    }
    cell.syncInfoCount->setText(OVOrvaneCellModel::syncCountText(sessions));
    cell.syncInfoCount->show();
}

void OVOrvaneListViewController::setIsConnectedOnCell(OVOrvaneCell& cell, const OVDeviceInfo& device) {
    cell.isConnected->setText(OVOrvaneCellModel::connectionText(device));
    OVOrvaneCell::setTextColor(cell.isConnected, device.isConnected()
                                                     ? OVStyleManager::getOrvaneList_ConnectedColor()
                                                     : OVStyleManager::getOrvaneList_DisconnectedColor());
    cell.identify->setEnabled(OVOrvaneCellModel::canIdentify(device));
}

void OVOrvaneListViewController::refreshRow(int row, const QString& context,
                                            const std::function<void(OVOrvaneCell&, OVDeviceInfo&)>& paint) {
    if (m_ui->tableViewDevices->count() == 0)
        return;
    const auto rows = devices();
    OVOrvaneCell* cell = cellForRow(row);
    if (row < 0 || row >= rows.size() || !cell) {
        OVLog("An exception occurred during %@. Exception: %@", context,
              QStringLiteral("the device has no row in the list"));
        return;
    }
    try {
        paint(*cell, *rows.at(row));
    } catch (...) {
        logException(std::current_exception(), context);
    }
}

void OVOrvaneListViewController::reloadBatteryLevelForRow(int row) {
    refreshRow(row, QStringLiteral("reloadBatteryLevelForRow"),
               [this](OVOrvaneCell& cell, OVDeviceInfo& device) { setBatteryLevelOnCell(cell, device); });
}

void OVOrvaneListViewController::reloadSyncInfoForRow(int row) {
    refreshRow(row, QStringLiteral("reloadSyncInfoForRow"),
               [this](OVOrvaneCell& cell, OVDeviceInfo& device) { setSyncInfoOnCell(cell, device); });
}

void OVOrvaneListViewController::reloadDefaultUserForRow(int row) {
    refreshRow(row, QStringLiteral("reloadDefaultUserForRow"),
               [this](OVOrvaneCell& cell, OVDeviceInfo& device) { setDefaultUserOnCell(cell, device); });
}

void OVOrvaneListViewController::reloadRecoveryPercentageForRow(int row, double percentage) {
    refreshRow(row, QStringLiteral("reloadRecoveryPercentageForRow"),
               [percentage](OVOrvaneCell& cell, OVDeviceInfo&) {
                   cell.isConnected->setText(OVOrvaneCellModel::recoveryText(percentage));
               });
}

void OVOrvaneListViewController::toggleSyncButton() {
    auto* button = m_ui->buttonCancelSync;
    const bool any = !devices().isEmpty();
    const bool busy = any && m_deviceMgr && (m_deviceMgr->isSynching() || m_deviceMgr->isStoringSessions());
    button->setEnabled(any);
    button->setText(busy ? tr("CANCEL") : tr("SYNC"));
    button->setProperty("tag", busy ? 1 : 0);
}

void OVOrvaneListViewController::onCancelSync() {
    if (m_deviceMgr) {
        if (m_ui->buttonCancelSync->property("tag").toInt() == 1)
            m_deviceMgr->cancelAll();
        else
            m_deviceMgr->syncAllDevices();
    }
    toggleSyncButton();
}

void OVOrvaneListViewController::onRowClicked(int row) {
    const auto rows = devices();
    m_ui->tableViewDevices->clearSelection();
    if (row < 0 || row >= rows.size() || !OVDeviceListNavigator::canOpen(*rows.at(row)))
        return;
    showDetail(rows.at(row));
}

void OVOrvaneListViewController::onPingClick(int row) {
    const auto rows = devices();
    if (m_deviceMgr && row >= 0 && row < rows.size())
        m_deviceMgr->identifyDevice(rows.at(row), nullptr);
}

void OVOrvaneListViewController::onAssignClick() {
    showAssign();
}

void OVOrvaneListViewController::onBackClick() {
    showList();
}

void OVOrvaneListViewController::onSessionSyncStatusChanged(const OVNotification& notification) {
    const auto session = notification.objectAs<OVSession>();
    if (!session)
        return;
    if (OVDeviceListNavigator::signsOut(*session)) {
        onMain([](OVOrvaneListViewController& v) {
            if (v.m_logout)
                v.m_logout();
        });
        return;
    }
    const QString serial = session->deviceSerial();
    onMain([serial](OVOrvaneListViewController& v) { v.reloadSyncInfoForRow(v.rowOf(serial)); });
}

void OVOrvaneListViewController::onSessionListChanged(const OVNotification& notification) {
    const auto device = notification.objectAs<OVDeviceInfo>();
    const QString serial = device ? device->serial() : QString();
    onMain([serial](OVOrvaneListViewController& v) {
        const int row = v.rowOf(serial);
        if (row < 0)
            return;
        v.reloadSyncInfoForRow(row);
        if (v.isCurrentlyShowingDetail() && v.m_detailCtrl->deviceInfo() &&
            v.m_detailCtrl->deviceInfo()->serial() == serial)
            v.showDetail(v.devices().at(row));
    });
}

void OVOrvaneListViewController::withdrawPromptsOfDepartedDevices(
    const QList<std::shared_ptr<OVDeviceInfo>>& before) {
    QSet<QString> gone;
    for (const auto& device : before)
        gone.insert(device->serial());
    for (const auto& device : std::as_const(m_devices)) {
        if (device->isConnected())
            gone.remove(device->serial());
        else
            gone.insert(device->serial());
    }
    for (const QString& serial : std::as_const(gone)) {
        // A device restarting after an update or a restore keeps its wait message.
        if (!m_maintenance->haveToWaitToReconnect(serial))
            OVPromptQueue::of(this).withdraw(serial);
    }
}

OVOrvanesViewController* OVOrvaneListViewController::detailController() {
    if (!m_detailCtrl) {
        m_detailCtrl = new OVOrvanesViewController(m_deviceMgr, m_credentialMgr, m_maintenance.get(),
                                                   m_ui->viewDetailContainer);
        m_detailCtrl->hide();
    }
    return m_detailCtrl;
}

OVNoOrvaneViewController* OVOrvaneListViewController::noOrvaneController() {
    if (!m_noOrvanesCtrl) {
        m_noOrvanesCtrl = new OVNoOrvaneViewController(m_credentialMgr, m_ui->viewDetailContainer);
        m_noOrvanesCtrl->hide();
    }
    return m_noOrvanesCtrl;
}

void OVOrvaneListViewController::placeSubview(QWidget* view) {
    m_ui->viewDetailContainer->layout()->addWidget(view);
    view->show();
    m_ui->viewDetailContainer->show();
}

void OVOrvaneListViewController::removeSubview(QWidget* view) {
    if (!view || view->parentWidget() != m_ui->viewDetailContainer || view->isHidden())
        return;
    m_ui->viewDetailContainer->layout()->removeWidget(view);
    view->hide();
    m_ui->viewDetailContainer->hide();
}

void OVOrvaneListViewController::showList() {
    hideDetail();
    hideNoOrvane();
    hideAssign();
    m_ui->tableViewContainer->show();
    reloadTable();
    m_ui->buttonCancelSync->show();
    toggleSyncButton();
    m_ui->buttonAssign->setVisible(bool(m_assignFactory));
}

void OVOrvaneListViewController::hideList() {
    m_ui->tableViewContainer->hide();
    m_ui->buttonCancelSync->hide();
    m_ui->buttonAssign->hide();
}

bool OVOrvaneListViewController::isShowingList() const {
    return !m_ui->tableViewContainer->isHidden();
}

void OVOrvaneListViewController::showDetail(const std::shared_ptr<OVDeviceInfo>& device) {
    hideList();
    hideNoOrvane();
    hideAssign();
    OVOrvanesViewController* detail = detailController();
    detail->setDeviceInfo(device);
    detail->unsubscribeToNotifications();
    detail->subscribeToNotifications();
    placeSubview(detail);
    detail->initializeView();
    if (auto* scroll = detail->findChild<QScrollArea*>(QStringLiteral("scrollview")))
        scroll->verticalScrollBar()->setValue(0);
    m_ui->backButtonContainerView->show();
}

void OVOrvaneListViewController::hideDetail() {
    if (!isCurrentlyShowingDetail())
        return;
    m_detailCtrl->uninitializeView();
    removeSubview(m_detailCtrl);
    m_ui->backButtonContainerView->hide();
}

void OVOrvaneListViewController::showAssign() {
    if (!m_assignFactory)
        return;
    hideList();
    hideNoOrvane();
    hideDetail();
    if (!m_assignDeviceUserCtrl)
        m_assignDeviceUserCtrl = m_assignFactory();
    m_assignDeviceUserCtrl->subscribeToNotifications();
    placeSubview(m_assignDeviceUserCtrl->subviewWidget());
    m_assignDeviceUserCtrl->initializeView();
    m_ui->backButtonContainerView->show();
}

void OVOrvaneListViewController::hideAssign() {
    if (!isCurrenltyShowAssign())
        return;
    m_assignDeviceUserCtrl->unsubscribeToNotifications();
    removeSubview(m_assignDeviceUserCtrl->subviewWidget());
    m_ui->backButtonContainerView->hide();
}

void OVOrvaneListViewController::showNoOrvane() {
    hideList();
    hideDetail();
    hideAssign();
    OVNoOrvaneViewController* placeholder = noOrvaneController();
    placeSubview(placeholder);
    placeholder->initializeView();
}

void OVOrvaneListViewController::hideNoOrvane() {
    removeSubview(m_noOrvanesCtrl);
}

bool OVOrvaneListViewController::isCurrentlyShowingDetail() const {
    return m_detailCtrl && !m_ui->viewDetailContainer->isHidden() && !m_detailCtrl->isHidden();
}

bool OVOrvaneListViewController::isCurrenltyShowAssign() const {
    return m_assignDeviceUserCtrl && !m_ui->viewDetailContainer->isHidden() &&
           !m_assignDeviceUserCtrl->subviewWidget()->isHidden();
}
