#include "OVOrvanesViewController.h"

#include "MessageBoxViewController.h"
#include "OVBatteryGauge.h"
#include "OVCredentialManagerProtocol.h"
#include "OVDataLookup.h"
#include "OVDeviceCommandDelegate.h"
#include "OVDeviceInfo.h"
#include "OVDeviceManager.h"
#include "OVDeviceSyncher.h"
#include "OVDeviceViewPalette.h"
#include "OVFirmwareUpdater.h"
#include "OVLogger.h"
#include "OVMainThread.h"
#include "OVMaintenanceBoard.h"
#include "OVMaintenanceFlow.h"
#include "OVNotificationCenter.h"
#include "OVOrvaneCellModel.h"
#include "OVPromptQueue.h"
#include "OVScrollPosition.h"
#include "OVSessionExporter.h"
#include "OVSessionFileRepository.h"
#include "OVSessionRowAppearance.h"
#include "OVSessionSyncInfo.h"
#include "OVStyleManager.h"
#include "OVWorkerThread.h"
#include "ui_OVOrvanesViewController.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QScrollBar>
#include <QSet>
#include <QSignalBlocker>
#include <QUrl>

#include <cmath>
#include <cstdio>
#include <utility>

std::atomic<bool> OVOrvanesViewController::defaultUserRequested{false};

namespace {

/** The default-user id of a device nobody has been assigned to. */
constexpr quint64 kNoUser = 0xFFFFFFFFu;

/** A session row's identity: its session's start in whole seconds, as the exporter names it. */
constexpr int kSessionStartRole = Qt::UserRole;

qint64 sessionStart(const OVSession& session) {
    return static_cast<qint64>(std::floor(session.start().secondsSince1970()));
}

/** The detail's panels are white whatever the desktop theme: their text must stay dark. */
void paintText(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    widget->setPalette(palette);
}

} // namespace

/** Hands the command reports of the shown device to the view on the GUI thread. */
class OVOrvanesViewController::CommandReports : public OVDeviceCommandDelegate {
public:
    explicit CommandReports(const OVOrvanesViewController& view)
        : m_view(view) {}

    void onGetBatteryLevelCompleted(const std::shared_ptr<OVDeviceInfo>& device, int level) override {
        forDevice(device, [level](OVOrvanesViewController& v) { v.setBatteryLevel(level); });
    }
    void onAssignDefaultUser(const std::shared_ptr<OVDeviceInfo>& device, bool success,
                             quint64 userId) override {
        const QString serial = device->serial();
        m_view.onMain([serial, success, userId](OVOrvanesViewController& v) {
            v.onAssignDefaultUser(serial, success, userId);
        });
    }

private:
    void forDevice(const std::shared_ptr<OVDeviceInfo>& device,
                   std::function<void(OVOrvanesViewController&)> work) {
        const QString serial = device->serial();
        m_view.onMain([serial, work = std::move(work)](OVOrvanesViewController& v) {
            if (v.isShown(serial))
                work(v);
        });
    }
    const OVOrvanesViewController& m_view;
};

OVOrvanesViewController::OVOrvanesViewController(OVDeviceManager* deviceMgr,
                                                 OVCredentialManagerProtocol* credentialMgr,
                                                 OVMaintenanceBoard* board, QWidget* parent)
    : OVBaseViewController(parent)
    , m_ui(std::make_unique<Ui::OVOrvanesViewController>())
    , m_deviceMgr(deviceMgr)
    , m_credentialMgr(credentialMgr)
    , m_board(board)
    , m_mbCtrl(new MessageBoxViewController(this))
    , m_alive(std::make_shared<OVOrvanesViewController*>(this)) {
    m_ui->setupUi(this);
    m_mbCtrl->hide();
    m_reports = std::make_shared<CommandReports>(*this);
    paintColours();
    connect(m_ui->buttonSync, &QPushButton::clicked, this, &OVOrvanesViewController::onSyncClick);
    connect(m_ui->buttonIdentify, &QPushButton::clicked, this, &OVOrvanesViewController::onIdentifyClick);
    connect(m_ui->buttonUpdate, &QPushButton::clicked, this, &OVOrvanesViewController::onUpdateClick);
    connect(m_ui->buttonRestore, &QPushButton::clicked, this, &OVOrvanesViewController::onRestoreClick);
    connect(m_ui->buttonErase, &QPushButton::clicked, this, &OVOrvanesViewController::onEraseClick);
    connect(m_ui->buttonExport, &QPushButton::clicked, this, &OVOrvanesViewController::onExportClick);
    connect(m_ui->tableViewSessions, &QListWidget::itemSelectionChanged, this,
            &OVOrvanesViewController::updateExportButton);
    m_folderChooser = [this] {
        return QFileDialog::getExistingDirectory(this, tr("Export Sessions To"), QDir::homePath());
    };
    m_mbCtrl->setOnOkBlock(nullptr);
    m_ui->tableViewSessions->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_ui->tableViewSessions, &QWidget::customContextMenuRequested, this,
            &OVOrvanesViewController::showSessionContextMenu);
}

OVOrvanesViewController::~OVOrvanesViewController() {
    defaultUserRequested = false;
    unsubscribeToNotifications();
}

void OVOrvanesViewController::paintColours() {
    m_ui->viewOrvane->setBackgroundColor(OVStyleManager::getOrvane_DeviceBackgroundColor());
    m_ui->viewButtonBackground->setBackgroundColor(OVStyleManager::getOrvane_DeviceButtonBackgroundColor());
    m_ui->viewSynchronization->setBackgroundColor(OVStyleManager::getOrvane_SessionBackgroundColor());
    paintText(m_ui->viewOrvaneDetail, OVStyleManager::getContent_TextColor());
    paintText(m_ui->textFieldSerialNumber, OVStyleManager::getOrvane_DeviceNameColor());
    for (QWidget* detail : {m_ui->textFieldModelNumber, m_ui->textFieldBattery, m_ui->textFieldBattery2,
                            m_ui->textFieldFirmwareRevision, m_ui->textFieldHardwareRevision,
                            m_ui->textFieldDefaultUser, m_ui->labelFirmware, m_ui->labelHardware,
                            m_ui->labelModel, m_ui->labelDefaultUser, m_ui->labelBattery})
        paintText(detail, OVStyleManager::getOrvane_DeviceDetailColor());
    QPalette table = m_ui->tableViewSessions->palette();
    table.setColor(QPalette::Base, OVStyleManager::getOrvane_SessionBackgroundColor());
    table.setColor(QPalette::AlternateBase, OVStyleManager::getOrvane_DeviceButtonBackgroundColor());
    m_ui->tableViewSessions->setPalette(table);
    m_ui->batteryOutline->setBackgroundColor(OVStyleManager::getOrvane_DeviceButtonBackgroundColor());
    paintConnection();
    if (const auto device = deviceInfo())
        setBatteryLevel(device->batteryLevel());
    reloadSessionTableView(); // the rows paint their texts when made
}

void OVOrvanesViewController::paintConnection() {
    const auto device = deviceInfo();
    paintText(m_ui->labelConnected, device && device->isConnected()
                                        ? OVStyleManager::getOrvane_ConnectedColor()
                                        : OVStyleManager::getOrvane_DisconnectedColor());
}

void OVOrvanesViewController::attachMaintenanceFlow() {
    OVMaintenanceBoard::Presenter presenter;
    presenter.enable = [this] { enable(); };
    presenter.disable = [this] { disable(); };
    presenter.showMessage = [this](const OVMaintenanceMessage& message) { showFlowMessage(message); };
    presenter.hideMessage = [this] { resetPanel(); };
    presenter.showAlert = [this](const QString& title, const QString& text) { showMessage(title, text); };
    presenter.reloadDefaultUser = [this] {
        m_ui->textFieldDefaultUser->setText(tr("N/A"));
        defaultUserRequested = false;
        loadDefaultUser();
    };
    // Another device's message must not stay over this one: the flow shows its own again.
    resetPanel();
    m_board->attach(m_deviceInfo, std::move(presenter));
}

void OVOrvanesViewController::showFlowMessage(const OVMaintenanceMessage& message) {
    m_flowMessage = message;
    if (m_panelShown) {
        renderFlowMessage();
        return;
    }
    if (m_panelTicket)
        return; // waiting for its turn, when it shows the flow's latest message
    const QPointer<OVOrvanesViewController> self(this);
    m_panelTicket = OVPromptQueue::of(this).post(
        m_deviceInfo->serial(),
        [self] {
            if (self)
                self->onPanelTurn();
        },
        [self] {
            if (self)
                self->onPanelWithdrawn();
        });
}

void OVOrvanesViewController::onPanelTurn() {
    m_panelShown = true;
    if (m_flowMessage)
        renderFlowMessage();
    else
        releasePanel();
}

void OVOrvanesViewController::renderFlowMessage() {
    m_mbCtrl->setOnOkBlock([this] { flow().onOkClick(); });
    m_mbCtrl->setOnCancelBlock([this] { flow().onCancelClick(); });
    m_mbCtrl->circularProgressIndicator()->setVisible(m_flowMessage->spinner);
    m_mbCtrl->showMessage(this, m_flowMessage->text, m_flowMessage->showOk, m_flowMessage->showCancel);
}

void OVOrvanesViewController::onPanelWithdrawn() {
    m_panelTicket = 0;
    m_panelShown = false;
    m_mbCtrl->hideMessage();
    // The device left: a question about it is answered no; what it did stays with its flow.
    const bool question = m_flowMessage && m_flowMessage->showCancel;
    m_flowMessage.reset();
    if (question && m_deviceInfo)
        flow().onCancelClick();
}

void OVOrvanesViewController::resetPanel() {
    m_flowMessage.reset();
    m_mbCtrl->hideMessage();
    releasePanel();
}

void OVOrvanesViewController::releasePanel() {
    const quint64 ticket = std::exchange(m_panelTicket, 0);
    m_panelShown = false;
    if (ticket)
        OVPromptQueue::of(this).done(ticket);
}

void OVOrvanesViewController::promptToAssign(const std::shared_ptr<OVDeviceInfo>& device) {
    const QString text = tr("No user assigned on the Orvane");
    auto* box =
        new QMessageBox(QMessageBox::Question, text, text, QMessageBox::Ok | QMessageBox::Cancel, window());
    box->setInformativeText(tr("Would you like the Orvane to be assigned to your account?"));
    box->setAccessibleName(text);
    connect(box, &QMessageBox::finished, this, [this, box, device] {
        if (box->standardButton(box->clickedButton()) != QMessageBox::Ok || !isShown(device->serial()))
            return;
        const auto user = m_credentialMgr ? m_credentialMgr->currentUser() : std::nullopt;
        if (user && user->identifier && m_deviceMgr)
            m_deviceMgr->assignDefaultUserToDevice(device, quint64(*user->identifier), nullptr);
    });
    OVPromptQueue::of(this).post(device->serial(), box);
}

OVMaintenanceFlow& OVOrvanesViewController::flow() {
    return m_board->flowFor(m_deviceInfo);
}

void OVOrvanesViewController::onMain(std::function<void(OVOrvanesViewController&)> work) const {
    OVMainThread::async([alive = std::weak_ptr<OVOrvanesViewController*>(m_alive), work = std::move(work)] {
        // Checked on the GUI thread, where the view is destroyed.
        if (const auto view = alive.lock())
            work(**view);
    });
}

bool OVOrvanesViewController::isShown(const QString& serial) const {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    return m_deviceInfo && m_deviceInfo->serial() == serial;
}

void OVOrvanesViewController::setDeviceInfo(std::shared_ptr<OVDeviceInfo> device) {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    m_deviceInfo = std::move(device);
}

bool OVOrvanesViewController::haveToWaitToReconnect() const {
    const auto device = deviceInfo();
    return device && m_board->haveToWaitToReconnect(device->serial());
}

void OVOrvanesViewController::subscribeToNotifications() {
    if (m_subscribed)
        return;
    m_subscribed = true;
    auto& center = OVNotificationCenter::defaultCenter();
    center.addObserver(this, OVNotificationName::OnDeviceSessionFetchStatusChanged,
                       [this](const OVNotification& n) { onFetchStatusChanged(n); });
    center.addObserver(this, OVNotificationName::OnSessionSyncStatusChanged,
                       [this](const OVNotification& n) { onSessionSyncStatusChanged(n); });
    center.addObserver(this, OVNotificationName::OnDeviceSyncStart,
                       [this](const OVNotification& n) { onSyncStarted(n); });
    center.addObserver(this, OVNotificationName::OnDeviceSyncDone,
                       [this](const OVNotification& n) { onSyncDone(n); });
    center.addObserver(this, OVNotificationName::kNetworkReachabilityChangedNotification,
                       [this](const OVNotification&) {
                           onMain([](OVOrvanesViewController& v) {
                               v.reloadSessionTableView();
                               v.loadDefaultUser();
                           });
                       });
    if (m_deviceMgr)
        m_deviceMgr->subscribeToCommandNotification(m_reports);
}

void OVOrvanesViewController::unsubscribeToNotifications() {
    if (!m_subscribed)
        return;
    m_subscribed = false;
    OVNotificationCenter::defaultCenter().removeObserver(this);
    if (m_deviceMgr)
        m_deviceMgr->unSubscribeToCommandNotification(m_reports);
}

void OVOrvanesViewController::initializeView() {
    m_mbCtrl->initializeView();
    const auto device = deviceInfo();
    if (!device) {
        m_board->detach();
        resetPanel();
        for (QLabel* field :
             {m_ui->textFieldBattery, m_ui->textFieldFirmwareRevision, m_ui->textFieldHardwareRevision,
              m_ui->textFieldModelNumber, m_ui->textFieldSerialNumber})
            field->clear();
        m_ui->tableViewSessions->clear();
        return;
    }
    attachMaintenanceFlow();
    if (device->isConnected() && flow().haveToWaitToReconnect())
        flow().deviceIsBack();
    setBatteryLevel(device->batteryLevel());
    paintConnection();
    m_ui->textFieldFirmwareRevision->setText(device->firmwareRevision());
    m_ui->textFieldHardwareRevision->setText(device->hardwareRevision());
    m_ui->textFieldModelNumber->setText(device->modelNumber());
    m_ui->textFieldSerialNumber->setText(device->serial());
    if (device->isConnected()) {
        m_ui->labelConnected->setText(tr("(Connected)"));
        loadDefaultUser();
    } else {
        m_ui->labelConnected->setText(tr("(Disconnected)"));
        m_ui->textFieldDefaultUser->setText(tr("N/A"));
        flow().forgetDeclinedOffer(device->serial());
        defaultUserRequested = false;
    }
    setSessionsInfo();
    reloadSessionTableView();
    // The fields held "N/A" while the view was away: lay them out for their new texts now, before
    // anything is drawn (a message box shown at once would otherwise cover clipped labels).
    for (QWidget* panel : {m_ui->viewOrvaneDetail, static_cast<QWidget*>(m_ui->viewOrvane)})
        panel->layout()->activate();
    askForFirmwareUpdate();
}

void OVOrvanesViewController::uninitializeView() {
    defaultUserRequested = false;
    m_board->detach();
    resetPanel(); // a hidden detail holds no prompt turn of the window
    for (QLabel* field :
         {m_ui->textFieldBattery, m_ui->textFieldFirmwareRevision, m_ui->textFieldHardwareRevision,
          m_ui->textFieldModelNumber, m_ui->textFieldSerialNumber, m_ui->textFieldDefaultUser})
        field->setText(tr("N/A"));
    unsubscribeToNotifications();
}

void OVOrvanesViewController::setBatteryLevel(int level) {
    if (m_deviceInfo)
        m_deviceInfo->setBatteryLevel(level);
    m_ui->textFieldBattery->setText(OVBatteryGauge::levelText(level));
    QRect bar = m_ui->batteryLevelView->geometry();
    bar.setWidth(OVBatteryGauge::barWidth(level));
    m_ui->batteryLevelView->setGeometry(bar);
    m_ui->batteryLevelView->setVisible(bar.width() > 0);
    m_ui->batteryLevelView->setBackgroundColor(OVDeviceViewPalette::color(OVBatteryGauge::barColor(level)));
    m_ui->textFieldBattery2->setText(OVOrvaneCellModel::batteryText(level));
}

void OVOrvanesViewController::setSessionsInfo() {
    m_ui->labelSessionCounts->hide();
    m_ui->imageViewSessionErrorInfo->hide();
    m_ui->imageViewSessionStatus->hide();
    disable();
    enable();
    try {
        const auto device = deviceInfo();
        const auto sessions = device ? device->sessions() : OVSessionList();
        if (!sessions.isEmpty()) {
            m_ui->labelSessionCounts->setText(OVOrvaneCellModel::syncCountText(sessions));
            m_ui->labelSessionCounts->show();
        }
    } catch (...) {
        logException(std::current_exception(), QStringLiteral("setSessionsInfo"));
    }
    toggleSyncButton();
}

void OVOrvanesViewController::reloadSessionTableView() {
    if (!OVMainThread::isMainThread()) {
        onMain([](OVOrvanesViewController& v) { v.reloadSessionTableView(); });
        return;
    }
    auto* table = m_ui->tableViewSessions;
    // A reload (reachability, upload progress) must not take the user's selection: rows are kept
    // selected by their session's start, and Export is updated once at the end.
    QSet<qint64> selected;
    for (const QListWidgetItem* item : table->selectedItems())
        selected.insert(item->data(kSessionStartRole).toLongLong());
    const QSignalBlocker quiet(table);
    const OVScrollPosition keepScroll(table);
    table->clear();
    const auto device = deviceInfo();
    for (const auto& session : device ? device->sessions() : OVSessionList()) {
        auto* cell = new OVSessionSyncInfo;
        showUserName(session->userId(), cell->username);
        const QDateTime start =
            QDateTime::fromMSecsSinceEpoch(qint64(session->start().secondsSince1970() * 1000));
        cell->start->setText(OVSessionSyncInfo::startText(start.toLocalTime()));
        cell->duration->setText(OVSessionRowAppearance::durationText(*session));
        cell->setSyncStatus(*session);
        auto* item = new QListWidgetItem(table);
        const qint64 key = sessionStart(*session);
        item->setData(kSessionStartRole, key);
        // The row's own text is drawn by its widget: a screen reader names the row by its start.
        item->setData(Qt::AccessibleTextRole, cell->start->text());
        item->setSizeHint(QSize(0, cell->rowHeight()));
        table->setItemWidget(item, cell);
        item->setSelected(selected.contains(key));
    }
    updateExportButton();
}

void OVOrvanesViewController::showUserName(quint64 userId, QWidget* field) {
    auto* label = qobject_cast<QLabel*>(field);
    auto& lookup = OVDataLookup::sharedInstance();
    if (lookup.areUsersLoaded()) {
        label->setText(OVOrvaneCellModel::userText(lookup.findUserById(userId)));
        return;
    }
    label->setText(tr("Unknown"));
    QPointer<QLabel> target(label);
    lookup.findUserById(userId, [target](std::optional<OVUser> user, std::optional<OVError>) {
        OVMainThread::async([target, user] {
            if (target)
                target->setText(OVOrvaneCellModel::userText(user));
        });
    });
}

OVSessionSyncInfo* OVOrvanesViewController::sessionCell(int row) const {
    auto* item = m_ui->tableViewSessions->item(row);
    return item ? qobject_cast<OVSessionSyncInfo*>(m_ui->tableViewSessions->itemWidget(item)) : nullptr;
}

int OVOrvanesViewController::findSessionIndex(const OVSession& session) const {
    const auto device = deviceInfo();
    if (!device)
        return -1;
    const auto sessions = device->sessions();
    const qint64 start = qint64(session.start().secondsSince1970());
    for (int i = 0; i < sessions.size(); ++i) {
        if (sessions.at(i)->deviceSerial() == device->serial() &&
            qint64(sessions.at(i)->start().secondsSince1970()) == start)
            return i;
    }
    return -1;
}

void OVOrvanesViewController::reloadSyncStatusForSession(const std::shared_ptr<OVSession>& session) {
    if (m_ui->tableViewSessions->count() == 0)
        return;
    const int index = findSessionIndex(*session);
    if (index < 0)
        return;
    if (OVSessionSyncInfo* cell = sessionCell(index)) {
        cell->setSyncStatus(*session);
        return;
    }
    OVLog("(%@)-reloadSyncStatusForSession : %@", m_deviceInfo ? m_deviceInfo->serial() : QString(),
          session->description());
    OVLog("reloadSyncStatusForSession index : %ld, tableViewSessions.numberOfRows: %ld", index,
          m_ui->tableViewSessions->count());
    OVLog("An exception occurred during %@. Exception: %@", QStringLiteral("reloadSyncStatusForSession"),
          QStringLiteral("no cell at the session's row"));
}

void OVOrvanesViewController::toggleSyncButton() {
    onMain([](OVOrvanesViewController& v) {
        const auto device = v.deviceInfo();
        const bool busy =
            device && v.m_deviceMgr &&
            (v.m_deviceMgr->isDeviceSynching(device) || v.m_deviceMgr->isStoringSessionsForDevice(device));
        v.m_ui->buttonSync->setEnabled(true);
        v.m_ui->buttonSync->setText(busy ? tr("CANCEL") : tr("SYNC"));
        v.m_ui->buttonSync->setProperty("tag", busy ? 1 : 0);
    });
}

void OVOrvanesViewController::onSyncClick() {
    const auto device = deviceInfo();
    if (!device || !m_deviceMgr)
        return;
    if (m_ui->buttonSync->property("tag").toInt() == 1) {
        m_deviceMgr->cancelStoring(device);
        m_deviceMgr->cancelSync(device);
    } else {
        m_deviceMgr->sync(device);
    }
    toggleSyncButton();
}

void OVOrvanesViewController::disable() {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    for (QPushButton* button :
         {m_ui->buttonErase, m_ui->buttonIdentify, m_ui->buttonRestore, m_ui->buttonUpdate})
        button->setEnabled(false);
}

void OVOrvanesViewController::enable() {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    const auto device = m_deviceInfo;
    // A running update, restore or erase re-enables the buttons itself when it ends.
    if (!device || !m_deviceMgr || !device->isConnected() || m_board->isBusy(device->serial()) ||
        m_deviceMgr->isDeviceSynching(device) || m_deviceMgr->isStoringSessionsForDevice(device))
        return;
    for (QPushButton* button :
         {m_ui->buttonErase, m_ui->buttonIdentify, m_ui->buttonRestore, m_ui->buttonUpdate})
        button->setEnabled(true);
}

void OVOrvanesViewController::onIdentifyClick() {
    if (const auto device = deviceInfo(); device && m_deviceMgr)
        m_deviceMgr->identifyDevice(device, nullptr);
}

void OVOrvanesViewController::askForFirmwareUpdate() {
    const auto device = deviceInfo();
    if (!device || !m_deviceMgr)
        return;
    OVMaintenanceFlow::Device facts;
    facts.serial = device->serial();
    facts.connected = device->isConnected();
    facts.busy = m_deviceMgr->isDeviceSynching(device) || m_deviceMgr->isStoringSessionsForDevice(device);
    facts.updateAvailable = m_board->firmwareUpdater().isUpdateAvailableForDevice(*device);
    facts.hasSessions = !device->sessions().isEmpty();
    facts.firmwareRevision = device->firmwareRevision();
    flow().askForFirmwareUpdate(facts);
}

void OVOrvanesViewController::onUpdateClick() {
    const auto device = deviceInfo();
    if (!device)
        return;
    OVMaintenanceFlow::Device facts;
    facts.serial = device->serial();
    facts.connected = device->isConnected();
    facts.updateAvailable = m_board->firmwareUpdater().isUpdateAvailableForDevice(*device);
    facts.hasSessions = !device->sessions().isEmpty();
    facts.firmwareRevision = device->firmwareRevision();
    flow().onUpdateClick(facts);
}

void OVOrvanesViewController::onRestoreClick() {
    if (deviceInfo())
        flow().onRestoreClick();
}

void OVOrvanesViewController::onEraseClick() {
    if (deviceInfo())
        flow().onEraseClick();
}

void OVOrvanesViewController::showSessionContextMenu(const QPoint& position) {
    const int row = m_ui->tableViewSessions->row(m_ui->tableViewSessions->itemAt(position));
    if (row < 0)
        return;
    QMenu menu(this);
    menu.addAction(tr("Sync now"), this, [this, row] { onSyncMenuClick(row); });
    menu.addAction(tr("Show in folder"), this, [this, row] { onRevealClick(row); });
    menu.exec(m_ui->tableViewSessions->viewport()->mapToGlobal(position));
}

void OVOrvanesViewController::onSyncMenuClick(int row) {
    const auto device = deviceInfo();
    if (!device || !m_deviceMgr || row < 0 || row >= device->sessions().size())
        return;
    m_deviceMgr->forceSyncSession(device->sessions().at(row), device);
}

void OVOrvanesViewController::onRevealClick(int row) {
    const auto device = deviceInfo();
    if (!device || row < 0 || row >= device->sessions().size())
        return;
    OVSessionFileRepository repository;
    OVError error;
    const QString directory = repository.getDirectoryPathForSession(*device->sessions().at(row), &error);
    if (!directory.isEmpty())
        QDesktopServices::openUrl(QUrl::fromLocalFile(directory));
}

void OVOrvanesViewController::loadDefaultUser() {
    const auto device = deviceInfo();
    if (!device || !device->defaultUserId() || defaultUserRequested)
        return;
    defaultUserRequested = true;
    const quint64 userId = *device->defaultUserId();
    std::fprintf(stderr, "Default User = %llu\n", static_cast<unsigned long long>(userId));
    if (userId != kNoUser) {
        showUserName(userId, m_ui->textFieldDefaultUser);
        return;
    }
    onMain([device](OVOrvanesViewController& v) {
        if (v.isShown(device->serial()))
            v.promptToAssign(device);
    });
}

void OVOrvanesViewController::onAssignDefaultUser(const QString& serial, bool success, quint64 userId) {
    if (!isShown(serial))
        return;
    if (success) {
        m_deviceInfo->setDefaultUserId(userId);
        defaultUserRequested = false;
        loadDefaultUser();
        return;
    }
    showMessage(
        tr("Error while assigning"),
        tr("There was an error while trying to assign the Orvane device to your account. Please try "
           "disconnecting the Orvane and rebooting it by pressing on the button on the device until it turn "
           "off completely then connect it again to the computer."));
}

void OVOrvanesViewController::onFetchStatusChanged(const OVNotification& notification) {
    const auto device = notification.objectAs<OVDeviceInfo>();
    if (!device || !isShown(device->serial()))
        return;
    onMain([](OVOrvanesViewController& v) {
        v.setSessionsInfo();
        v.reloadSessionTableView();
        v.askForFirmwareUpdate();
    });
}

void OVOrvanesViewController::onSessionSyncStatusChanged(const OVNotification& notification) {
    const auto session = notification.objectAs<OVSession>();
    if (!session || !isShown(session->deviceSerial()))
        return;
    const OVSessionRefresh refresh = OVSessionRowAppearance::refreshFor(session->syncStatus());
    onMain([session, refresh](OVOrvanesViewController& v) {
        switch (refresh) {
        case OVSessionRefresh::Nothing:
            break;
        case OVSessionRefresh::RowOnly:
            v.reloadSyncStatusForSession(session);
            break;
        case OVSessionRefresh::CountsAndRow:
            v.setSessionsInfo();
            v.reloadSyncStatusForSession(session);
            break;
        case OVSessionRefresh::CountsAndTable:
            v.setSessionsInfo();
            v.reloadSessionTableView();
            break;
        }
    });
}

void OVOrvanesViewController::onSyncStarted(const OVNotification& notification) {
    const auto syncher = notification.objectAs<OVDeviceSyncher>();
    if (!syncher || !isShown(syncher->getDeviceSerial()))
        return;
    onMain([](OVOrvanesViewController& v) {
        v.disable();
        v.toggleSyncButton();
    });
}

void OVOrvanesViewController::onSyncDone(const OVNotification& notification) {
    const auto syncher = notification.objectAs<OVDeviceSyncher>();
    if (!syncher || !isShown(syncher->getDeviceSerial()))
        return;
    onMain([](OVOrvanesViewController& v) {
        v.enable();
        v.toggleSyncButton();
        v.askForFirmwareUpdate();
    });
}

void OVOrvanesViewController::updateExportButton() {
    m_ui->buttonExport->setEnabled(!m_exporting && !m_ui->tableViewSessions->selectedItems().isEmpty());
}

void OVOrvanesViewController::onExportClick() {
    const auto device = deviceInfo();
    if (!device || m_exporting)
        return;
    QList<qint64> starts;
    for (const QListWidgetItem* item : m_ui->tableViewSessions->selectedItems())
        starts << item->data(kSessionStartRole).toLongLong();
    if (starts.isEmpty())
        return;
    const QString folder = m_folderChooser();
    if (folder.isEmpty())
        return;
    m_exporting = true;
    updateExportButton();
    OVWorkerThread::run<ExportOutcome>(
        this,
        [folder, serial = device->serial(), starts] {
            OVSessionFileRepository repository;
            OVSessionExporter exporter(&repository);
            ExportOutcome outcome;
            for (const qint64 start : starts) {
                OVError error;
                const auto report = exporter.exportSessions(folder, {serial, start}, &error);
                if (!report) {
                    outcome.failure = error.description();
                    break;
                }
                outcome.bags += int(report->bags.size());
                outcome.skipped += report->skipped;
            }
            return outcome;
        },
        [this, folder](ExportOutcome outcome) { onExportDone(folder, outcome); });
}

void OVOrvanesViewController::onExportDone(const QString& folder, const ExportOutcome& outcome) {
    m_exporting = false;
    updateExportButton();
    const bool failed = !outcome.failure.isEmpty();
    if (failed)
        OVLog("Export to %@ failed: %@", folder, outcome.failure);
    QString text =
        failed ? tr("The export to %1 stopped after %n session(s): %2", "", outcome.bags)
                     .arg(folder, outcome.failure)
               : tr("%n session(s) exported to %1, one folder (bag) each, listed in %2.", "", outcome.bags)
                     .arg(folder, OVSessionExporter::kIndexFileName);
    if (!outcome.skipped.isEmpty())
        text += QLatin1Char('\n') + tr("Not exported:") + QLatin1Char('\n') +
                outcome.skipped.join(QLatin1Char('\n'));
    showMessage(failed ? tr("Export Failed") : tr("Export Finished"), text);
}
