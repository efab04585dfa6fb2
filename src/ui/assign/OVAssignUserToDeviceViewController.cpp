#include "OVAssignUserToDeviceViewController.h"
#include "OVAssignDragData.h"
#include "OVContentPalette.h"
#include "OVDataLookup.h"
#include "OVDeviceCommandDelegate.h"
#include "OVDeviceInfo.h"
#include "OVDeviceManagerProtocol.h"
#include "OVHelper.h"
#include "OVMainThread.h"
#include "OVNotificationCenter.h"
#include "OVOrvaneCellModel.h"
#include "OVStyleManager.h"
#include "OVSyslogSink.h"
#include "OVUserSearch.h"
#include "ui_OVAssignUserToDeviceViewController.h"

#include <QApplication>
#include <QDrag>
#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QToolButton>

namespace {
constexpr int kColumnDevice = 0;
constexpr int kColumnUser = 1;
constexpr int kColumnProgress = 2;
/** Pixels at the top and bottom of a row that count as "between rows". */
constexpr int kBetweenRowsMargin = 3;
constexpr int kProgressColumnWidth = 40;
} // namespace

/** Device reports arrive on the device library's threads; each is queued to the view if it still lives. */
class OVAssignUserToDeviceViewController::CommandSubscriber : public OVDeviceCommandDelegate {
public:
    explicit CommandSubscriber(OVAssignUserToDeviceViewController* view)
        : m_view(view) {}

    void onAssignDefaultUser(const std::shared_ptr<OVDeviceInfo>& device, bool success,
                             quint64 userId) override {
        const QPointer<OVAssignUserToDeviceViewController> view = m_view;
        OVMainThread::async([view, serial = device->serial(), success, userId] {
            if (view)
                view->onAssignDefaultUser(serial, success, userId);
        });
    }
    void onGetDefaultUser(const std::shared_ptr<OVDeviceInfo>& device, bool success,
                          quint64 userId) override {
        const QPointer<OVAssignUserToDeviceViewController> view = m_view;
        OVMainThread::async([view, serial = device->serial(), success, userId] {
            if (view)
                view->onGetDefaultUser(serial, success, userId);
        });
    }

private:
    /** Made on the GUI thread; only copied elsewhere and dereferenced back on the GUI thread. */
    const QPointer<OVAssignUserToDeviceViewController> m_view;
};

OVAssignUserToDeviceViewController::OVAssignUserToDeviceViewController(OVDeviceManagerProtocol* deviceMgr,
                                                                       OVServiceProtocol* service,
                                                                       QWidget* parent)
    : OVBaseViewController(parent)
    , m_deviceMgr(deviceMgr)
    , m_service(service)
    , m_ui(new Ui::OVAssignUserToDeviceViewController)
    , m_subscriber(std::make_shared<CommandSubscriber>(this)) {
    m_ui->setupUi(this);
    // The search field's clear button is made by Qt without a name a screen reader could say.
    for (QToolButton* clear : m_ui->searchField->findChildren<QToolButton*>())
        clear->setAccessibleName(tr("Clear the search"));
    paintColours();
    m_ui->progressBar->hide();
    m_ui->labelDeviceLeft->hide();
    QHeaderView* header = m_ui->deviceTable->horizontalHeader();
    header->setSectionResizeMode(kColumnDevice, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(kColumnUser, QHeaderView::Stretch);
    header->setSectionResizeMode(kColumnProgress, QHeaderView::Fixed);
    header->resizeSection(kColumnProgress, kProgressColumnWidth);
    m_ui->deviceTable->setAcceptDrops(true);
    m_ui->deviceTable->viewport()->setAcceptDrops(true);
    m_ui->deviceTable->viewport()->installEventFilter(this);
    m_ui->athleteTable->viewport()->installEventFilter(this);
    connect(m_ui->buttonRefresh, &QPushButton::clicked, this, &OVAssignUserToDeviceViewController::onRefresh);
    connect(m_ui->searchField, &QLineEdit::textChanged, this,
            &OVAssignUserToDeviceViewController::onDoSearch);
    connect(m_ui->comboTeam, &QComboBox::currentIndexChanged, this,
            &OVAssignUserToDeviceViewController::applyFilter);
    connect(m_ui->buttonAssign, &QPushButton::clicked, this,
            &OVAssignUserToDeviceViewController::assignSelectedUser);
    connect(m_ui->athleteTable, &QListWidget::itemSelectionChanged, this,
            &OVAssignUserToDeviceViewController::onUserSelectionChanged);
    connect(m_ui->deviceTable, &QTableWidget::itemSelectionChanged, this,
            &OVAssignUserToDeviceViewController::onDeviceSelectionChanged);
    updateAssignButton();
}

void OVAssignUserToDeviceViewController::paintColours() {
    m_ui->viewContainerAssign->setBackgroundColor(OVStyleManager::getAssign_BackgroundColor());
    OVContentPalette::apply(m_ui->viewContainerAssign, OVStyleManager::getAssign_BackgroundColor());
}

OVAssignUserToDeviceViewController::~OVAssignUserToDeviceViewController() {
    unsubscribeToNotifications();
    delete m_ui;
}

void OVAssignUserToDeviceViewController::initializeView() {
    loadTeams();
    updateDeviceList();
}

void OVAssignUserToDeviceViewController::subscribeToNotifications() {
    if (m_subscribed)
        return;
    m_subscribed = true;
    const QPointer<OVAssignUserToDeviceViewController> self(this);
    OVNotificationCenter::defaultCenter().addObserver(this, OVNotificationName::OnDeviceListChanged,
                                                      [self](const OVNotification&) {
                                                          OVMainThread::async([self] {
                                                              if (self)
                                                                  self->updateDeviceList();
                                                          });
                                                      });
    m_deviceMgr->subscribeToCommandNotification(m_subscriber);
}

void OVAssignUserToDeviceViewController::unsubscribeToNotifications() {
    if (!m_subscribed)
        return;
    m_subscribed = false;
    OVNotificationCenter::defaultCenter().removeObserver(this);
    m_deviceMgr->unSubscribeToCommandNotification(m_subscriber);
}

void OVAssignUserToDeviceViewController::onRefresh() {
    OVDataLookup::sharedInstance().resetTeams();
    loadTeams();
}

void OVAssignUserToDeviceViewController::onDoSearch() {
    applyFilter();
}

void OVAssignUserToDeviceViewController::loadTeams() {
    setLoading(true);
    if (!m_teams.isEmpty()) {
        m_teams.clear();
        reloadTeamBox();
        applyFilter();
    }
    const QPointer<OVAssignUserToDeviceViewController> self(this);
    OVDataLookup::sharedInstance().getTeams(
        [self](std::optional<QList<OVTeam>> teams, std::optional<OVError> error) {
            OVMainThread::async([self, teams = std::move(teams), error = std::move(error)] {
                if (self)
                    self->onTeamsLoaded(teams, error);
            });
        });
}

void OVAssignUserToDeviceViewController::onTeamsLoaded(const std::optional<QList<OVTeam>>& teams,
                                                       const std::optional<OVError>& error) {
    setLoading(false);
    m_teams = teams.value_or(QList<OVTeam>());
    reloadTeamBox();
    applyFilter();
    reloadDeviceTable();
    if (!error)
        return;
    if (error->isUnauthorized() && m_logout)
        m_logout();
    else
        showMessage(tr("Error"), error->description());
}

void OVAssignUserToDeviceViewController::setLoading(bool loading) {
    m_ui->progressBar->setVisible(loading);
    m_ui->buttonRefresh->setEnabled(!loading);
    m_ui->comboTeam->setEnabled(!loading);
    m_ui->searchField->setEnabled(!loading);
}

void OVAssignUserToDeviceViewController::reloadTeamBox() {
    const QSignalBlocker blocker(m_ui->comboTeam);
    m_ui->comboTeam->clear();
    for (const OVTeam& team : m_teams)
        m_ui->comboTeam->addItem(team.name.value_or(QString()));
    if (!m_teams.isEmpty())
        m_ui->comboTeam->setCurrentIndex(0);
}

void OVAssignUserToDeviceViewController::applyFilter() {
    const auto team = getCurrentSelectedTeam();
    m_athleteToDisplay =
        team ? OVUserSearch::filterMembers(team->members, m_ui->searchField->text()) : QList<OVUser>();
    // Made again whenever the teams load (also when devices come and go): the rebuild is not the
    // user's choice, which stays on the same user wherever that user's row is now.
    const QSignalBlocker quiet(m_ui->athleteTable);
    m_ui->athleteTable->clear();
    for (const OVUser& user : m_athleteToDisplay) {
        auto* item = new QListWidgetItem(OVOrvaneCellModel::userText(user), m_ui->athleteTable);
        if (m_chosenUserId && user.identifier == m_chosenUserId)
            m_ui->athleteTable->setCurrentItem(item);
    }
    updateAssignButton();
}

void OVAssignUserToDeviceViewController::onUserSelectionChanged() {
    const auto user = getUserFromIndex(chosenUserRow());
    m_chosenUserId = user ? user->identifier : std::nullopt;
    updateAssignButton();
}

std::optional<OVTeam> OVAssignUserToDeviceViewController::getCurrentSelectedTeam() const {
    const int index = m_ui->comboTeam->currentIndex();
    if (index < 0 || index >= m_teams.size())
        return std::nullopt;
    return m_teams.at(index);
}

void OVAssignUserToDeviceViewController::updateDeviceList() {
    m_devices.clear();
    for (const auto& device : m_deviceMgr->getDevices()) {
        if (device->isConnected())
            m_devices.append(device);
    }
    OVHelper::sortDevicesAsc(m_devices);
    reloadDeviceTable();
    for (const auto& device : m_devices) {
        OVError ignored;
        m_deviceMgr->getDefaultUserForDevice(device, &ignored);
    }
}

std::optional<OVUser> OVAssignUserToDeviceViewController::findUserById(quint64 userId) const {
    if (m_teams.isEmpty())
        return std::nullopt;
    for (const OVUser& member : m_teams.first().members) {
        if (member.identifier && quint64(*member.identifier) == userId)
            return member;
    }
    return std::nullopt;
}

std::optional<OVUser> OVAssignUserToDeviceViewController::getUserFromIndex(int index) const {
    if (index < 0 || index >= m_athleteToDisplay.size())
        return std::nullopt;
    return m_athleteToDisplay.at(index);
}

void OVAssignUserToDeviceViewController::reloadDeviceTable() {
    QTableWidget* table = m_ui->deviceTable;
    // Rows shift when devices come and go: the rebuild must not pass for the user's choice.
    const QSignalBlocker quiet(table);
    table->setRowCount(int(m_devices.size()));
    for (int row = 0; row < m_devices.size(); ++row) {
        const auto& device = m_devices.at(row);
        const auto userId = device->defaultUserId();
        table->setItem(row, kColumnDevice, new QTableWidgetItem(device->serial()));
        table->setItem(
            row, kColumnUser,
            new QTableWidgetItem(OVOrvaneCellModel::userText(userId ? findUserById(*userId) : std::nullopt)));
        // A table shows every cell widget again when it lays out, so an idle row has none.
        const bool assigning = m_assignDic.contains(device->serial());
        if (assigning && !table->cellWidget(row, kColumnProgress)) {
            auto* spinner = new QProgressBar;
            spinner->setRange(0, 0);
            spinner->setTextVisible(false);
            spinner->setAccessibleName(tr("Assigning"));
            table->setCellWidget(row, kColumnProgress, spinner);
        } else if (!assigning) {
            table->removeCellWidget(row, kColumnProgress);
        }
    }
    restoreChosenDevice();
}

int OVAssignUserToDeviceViewController::rowOfSerial(const QString& serial) const {
    for (int row = 0; row < m_devices.size(); ++row) {
        if (m_devices.at(row)->serial() == serial)
            return row;
    }
    return -1;
}

void OVAssignUserToDeviceViewController::restoreChosenDevice() {
    QTableWidget* table = m_ui->deviceTable;
    const QSignalBlocker quiet(table);
    const int row = m_chosenSerial.isEmpty() ? -1 : rowOfSerial(m_chosenSerial);
    if (row >= 0)
        table->selectRow(row);
    else
        table->setCurrentIndex(QModelIndex()); // no focus frame left on a row of another device
    m_ui->labelDeviceLeft->setVisible(!m_chosenSerial.isEmpty() && row < 0);
    updateAssignButton();
}

void OVAssignUserToDeviceViewController::onDeviceSelectionChanged() {
    const QList<QTableWidgetItem*> selected = m_ui->deviceTable->selectedItems();
    const int row = selected.isEmpty() ? -1 : selected.first()->row();
    m_chosenSerial = row >= 0 && row < m_devices.size() ? m_devices.at(row)->serial() : QString();
    m_ui->labelDeviceLeft->hide();
    updateAssignButton();
}

std::shared_ptr<OVDeviceInfo> OVAssignUserToDeviceViewController::chosenDevice() const {
    const int row = m_chosenSerial.isEmpty() ? -1 : rowOfSerial(m_chosenSerial);
    return row >= 0 ? m_devices.at(row) : nullptr;
}

void OVAssignUserToDeviceViewController::setUserId(quint64 userId, const QString& serial) {
    for (const auto& device : m_devices) {
        if (device->serial() == serial)
            device->setDefaultUserId(userId);
    }
    reloadDeviceTable();
}

void OVAssignUserToDeviceViewController::onAssignDefaultUserStart(const std::shared_ptr<OVDeviceInfo>& device,
                                                                  const OVUser& user) {
    const QString serial = device->serial();
    m_assignDic.insert(serial);
    OVError error;
    if (!m_deviceMgr->assignDefaultUserToDevice(device, quint64(user.identifier.value_or(0)), &error))
        m_assignDic.remove(serial);
    reloadDeviceTable();
}

void OVAssignUserToDeviceViewController::onAssignDefaultUser(const QString& serial, bool success,
                                                             quint64 userId) {
    m_assignDic.remove(serial);
    if (success)
        setUserId(userId, serial);
    else
        reloadDeviceTable();
}

void OVAssignUserToDeviceViewController::onGetDefaultUser(const QString& serial, bool success,
                                                          quint64 userId) {
    if (success)
        setUserId(userId, serial);
}

int OVAssignUserToDeviceViewController::chosenUserRow() const {
    // The selection, not the current row: a screen reader selects a user without moving the focus.
    const QList<QListWidgetItem*> selected = m_ui->athleteTable->selectedItems();
    return selected.isEmpty() ? -1 : m_ui->athleteTable->row(selected.first());
}

void OVAssignUserToDeviceViewController::assignSelectedUser() {
    const auto device = chosenDevice();
    const auto user = getUserFromIndex(chosenUserRow());
    if (user && device)
        onAssignDefaultUserStart(device, *user);
}

void OVAssignUserToDeviceViewController::updateAssignButton() {
    m_ui->buttonAssign->setEnabled(getUserFromIndex(chosenUserRow()) && chosenDevice());
}

bool OVAssignUserToDeviceViewController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_ui->athleteTable->viewport())
        return handleUserDrag(event);
    if (watched == m_ui->deviceTable->viewport())
        return handleDeviceDrop(event);
    return OVBaseViewController::eventFilter(watched, event);
}

bool OVAssignUserToDeviceViewController::handleUserDrag(QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress) {
        m_dragStart = static_cast<QMouseEvent*>(event)->position().toPoint();
        return false;
    }
    if (event->type() != QEvent::MouseMove)
        return false;
    const auto* move = static_cast<QMouseEvent*>(event);
    if (!(move->buttons() & Qt::LeftButton) ||
        (move->position().toPoint() - m_dragStart).manhattanLength() < QApplication::startDragDistance())
        return false;
    const int row = m_ui->athleteTable->indexAt(m_dragStart).row();
    if (row < 0)
        return false;
    auto* drag = new QDrag(m_ui->athleteTable);
    drag->setMimeData(OVAssignDragData::encodeRows({row}));
    drag->exec(Qt::CopyAction);
    return true;
}

int OVAssignUserToDeviceViewController::deviceRowOnto(const QPoint& position) const {
    const QModelIndex index = m_ui->deviceTable->indexAt(position);
    if (!index.isValid())
        return -1;
    const QRect rect = m_ui->deviceTable->visualRect(index);
    const bool between =
        position.y() < rect.top() + kBetweenRowsMargin || position.y() > rect.bottom() - kBetweenRowsMargin;
    return between ? -1 : index.row();
}

bool OVAssignUserToDeviceViewController::handleDeviceDrop(QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return false;
    auto* drop = static_cast<QDropEvent*>(event);
    const auto rows = OVAssignDragData::decodeRows(drop->mimeData());
    if (!rows) {
        drop->ignore();
        return true;
    }
    if (type == QEvent::DragEnter) {
        drop->acceptProposedAction();
        return true;
    }
    const int deviceRow = deviceRowOnto(drop->position().toPoint());
    const int userRow = rows->first();
    const bool accepted = OVAssignDragData::acceptsDrop(deviceRow >= 0, deviceRow, int(m_devices.size()),
                                                        userRow, int(m_athleteToDisplay.size()));
    if (type == QEvent::Drop) {
        OVSyslogSink::writeDirect(QStringLiteral("dragRow: %1").arg(userRow));
        OVSyslogSink::writeDirect(QStringLiteral("device row: %1").arg(deviceRow));
        if (accepted)
            onAssignDefaultUserStart(m_devices.at(deviceRow), m_athleteToDisplay.at(userRow));
    }
    if (accepted)
        drop->acceptProposedAction();
    else
        drop->ignore();
    return true;
}
