#include "OVMainWindowController.h"

#include "OVAboutViewController.h"
#include "OVAccountViewController.h"
#include "OVAssignUserToDeviceViewController.h"
#include "OVCredentialManagerProtocol.h"
#include "OVDeviceManager.h"
#include "OVHelper.h"
#include "OVMainThread.h"
#include "OVNotificationCenter.h"
#include "OVOrvaneListViewController.h"
#include "OVPlaceholderViewController.h"
#include "OVPreferencesViewController.h"
#include "OVStyleManager.h"
#include "OVSupportViewController.h"
#include "OVTranslations.h"
#include "OVView.h"
#include "ui_OVMainWindowController2.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QLocale>
#include <QPointer>
#include <QShortcut>
#include <QThread>
#include <QVBoxLayout>

namespace {
constexpr int index(OVMainWindowController::MenuEntry entry) {
    return static_cast<int>(entry);
}

void setTextColor(QLabel* label, const QColor& color) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}
} // namespace

OVMainWindowController::OVMainWindowController(OVDeviceManager* deviceMgr,
                                               OVCredentialManagerProtocol* credentialMgr,
                                               OVServiceProtocol* service,
                                               OVPreferencesManagerProtocol* preferences, QWidget* parent)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::OVMainWindowController2>())
    , m_deviceMgr(deviceMgr)
    , m_credentialMgr(credentialMgr)
    , m_service(service)
    , m_preferences(preferences) {
    // Before any text is set: the forms and views translate as they are made.
    OVTranslations::installForEnvironment();
    m_ui->setupUi(this);
    // Content views fill the container whatever its size.
    auto* containerLayout = new QVBoxLayout(m_ui->viewContainer);
    containerLayout->setContentsMargins(0, 0, 0, 0);
    awakeFromNib();
    // Posted on the GUI thread by their posters, and handled there directly; a post from elsewhere hops.
    const auto onMain =
        [self = QPointer<OVMainWindowController>(this)](void (OVMainWindowController::*handler)()) {
            if (QThread::currentThread() == QCoreApplication::instance()->thread()) {
                if (self)
                    (self.data()->*handler)();
                return;
            }
            OVMainThread::async([self, handler] {
                if (self)
                    (self.data()->*handler)();
            });
        };
    OVNotificationCenter::defaultCenter().addObserver(
        this, OVNotificationName::OnSignIn,
        [onMain](const OVNotification&) { onMain(&OVMainWindowController::onSignIn); });
    OVNotificationCenter::defaultCenter().addObserver(
        this, OVNotificationName::OnSignOut,
        [onMain](const OVNotification&) { onMain(&OVMainWindowController::onSignOut); });
    initializeViewControllers();
    // Closing only hides the window: the service goes on in the panel.
    auto* close = new QShortcut(QKeySequence::Close, this);
    connect(close, &QShortcut::activated, this, &QWidget::close);
}

OVMainWindowController::~OVMainWindowController() {
    OVNotificationCenter::defaultCenter().removeObserver(this);
}

void OVMainWindowController::awakeFromNib() {
    m_ui->viewMenuBackground->setBackgroundColor(OVStyleManager::getMainWindow_ViewMenuBackgroundColor());
    paintContainer();
    m_ui->imageViewLogo->setPixmap(OVStyleManager::getMainWindow_OrvaneLogo());
    QFont title = m_ui->labelOvServices->font();
    title.setPointSizeF(title.pointSizeF() * 1.2);
    title.setBold(true);
    m_ui->labelOvServices->setFont(title);
    setTextColor(m_ui->labelOvServices, OVStyleManager::getMainWindow_MenuFontColorNotSelected());
    setTextColor(m_ui->labelVersion, OVStyleManager::getMainWindow_MenuFontColorNotSelected());
    for (int i = 0; i < kMenuEntryCount; ++i) {
        const auto entry = static_cast<MenuEntry>(i);
        setTextColor(menuLabel(entry), OVStyleManager::getMainWindow_MenuFontColorNotSelected());
        clickableView(entry)->onClick(this, [this](OVView* sender) { onMenuClick(sender); });
    }
}

void OVMainWindowController::paintContainer() {
    m_ui->viewContainerBackground->setBackgroundColor(
        OVStyleManager::getMainWindow_ViewContainerBackgroundColor());
}

void OVMainWindowController::changeEvent(QEvent* event) {
    // The content views follow the desktop's palette themselves; the area behind them does here.
    if (event->type() == QEvent::PaletteChange)
        paintContainer();
    QWidget::changeEvent(event);
}

void OVMainWindowController::initializeViewControllers() {
    m_viewControllers[index(MenuEntry::Account)] =
        new OVAccountViewController(m_service, m_credentialMgr, m_ui->viewContainer);
    m_viewControllers[index(MenuEntry::Preferences)] =
        new OVPreferencesViewController(m_preferences, m_ui->viewContainer);
    auto* support = new OVSupportViewController(m_preferences, m_deviceMgr, m_ui->viewContainer);
    support->setCredentialManager(m_credentialMgr);
    m_viewControllers[index(MenuEntry::Support)] = support;
    m_viewControllers[index(MenuEntry::About)] = new OVAboutViewController(m_ui->viewContainer);
    for (OVBaseViewController* controller : m_viewControllers)
        if (controller)
            controller->hide();
}

OVBaseViewController* OVMainWindowController::orvaneListViewCtrl() {
    OVBaseViewController*& list = m_viewControllers[index(MenuEntry::Orvane)];
    if (!list) {
        auto* devices = new OVOrvaneListViewController(m_deviceMgr, m_credentialMgr, m_ui->viewContainer);
        devices->setAssignViewFactory([this] {
            auto assign = std::make_unique<OVAssignUserToDeviceViewController>(m_deviceMgr, m_service);
            // Refused credentials sign out the way the account view does.
            assign->setLogoutHandler([this] {
                static_cast<OVAccountViewController*>(m_viewControllers[index(MenuEntry::Account)])->logout();
            });
            return assign;
        });
        list = devices;
        list->hide();
    }
    return list;
}

void OVMainWindowController::initializeView() {
    m_ui->labelVersion->setText(QStringLiteral("v%1").arg(OVHelper::getApplicationVersion()));
    if (m_currentViewController)
        return;
    if (m_credentialMgr->isUserSignedIn())
        selectOrvane();
    else
        selectAccount();
}

void OVMainWindowController::selectOrvane() {
    select(MenuEntry::Orvane);
}
void OVMainWindowController::selectAccount() {
    select(MenuEntry::Account);
}
void OVMainWindowController::selectPreferences() {
    select(MenuEntry::Preferences);
}
void OVMainWindowController::selectSupport() {
    select(MenuEntry::Support);
}
void OVMainWindowController::selectAbout() {
    select(MenuEntry::About);
}

void OVMainWindowController::select(MenuEntry entry) {
    unSelectAllMenu();
    backgroundView(entry)->setBackgroundColor(OVStyleManager::getMainWindow_MenuColorSelected());
    setTextColor(menuLabel(entry), OVStyleManager::getMainWindow_MenuFontColorSelected());
    displayViewController(viewController(entry));
}

void OVMainWindowController::onMenuClick(OVView* sender) {
    for (int i = 0; i < kMenuEntryCount; ++i)
        if (clickableView(static_cast<MenuEntry>(i)) == sender) {
            select(static_cast<MenuEntry>(i));
            return;
        }
}

OVBaseViewController* OVMainWindowController::viewController(MenuEntry entry) {
    return entry == MenuEntry::Orvane ? orvaneListViewCtrl() : m_viewControllers[index(entry)];
}

void OVMainWindowController::setViewController(MenuEntry entry, OVBaseViewController* controller) {
    OVBaseViewController*& slot = m_viewControllers[index(entry)];
    if (slot == controller)
        return;
    const bool shown = slot && slot == m_currentViewController;
    if (shown)
        m_currentViewController = nullptr;
    delete slot;
    slot = controller;
    controller->setParent(m_ui->viewContainer);
    controller->hide();
    if (shown)
        displayViewController(controller);
}

void OVMainWindowController::displayViewController(OVBaseViewController* controller) {
    // Taken off without uninitializeView: the controller keeps its state while hidden.
    if (m_currentViewController && m_currentViewController != controller) {
        m_ui->viewContainer->layout()->removeWidget(m_currentViewController);
        m_currentViewController->hide();
    }
    m_currentViewController = controller;
    if (controller->parentWidget() != m_ui->viewContainer)
        controller->setParent(m_ui->viewContainer);
    m_ui->viewContainer->layout()->addWidget(controller);
    controller->show();
    controller->initializeView();
}

void OVMainWindowController::unSelectAllMenu() {
    for (int i = 0; i < kMenuEntryCount; ++i) {
        const auto entry = static_cast<MenuEntry>(i);
        backgroundView(entry)->setBackgroundColor(OVStyleManager::getMainWindow_MenuColorNotSelected());
        setTextColor(menuLabel(entry), OVStyleManager::getMainWindow_MenuFontColorNotSelected());
    }
}

void OVMainWindowController::onSignIn() {
    selectOrvane();
}

void OVMainWindowController::onSignOut() {
    selectAccount();
}

OVView* OVMainWindowController::clickableView(MenuEntry entry) const {
    const std::array<OVView*, kMenuEntryCount> views{
        m_ui->clickableViewMenuOrvane, m_ui->clickableViewMenuAccount, m_ui->clickableViewMenuPreferences,
        m_ui->clickableViewMenuSupport, m_ui->clickableViewMenuAbout};
    return views[index(entry)];
}

OVView* OVMainWindowController::backgroundView(MenuEntry entry) const {
    const std::array<OVView*, kMenuEntryCount> views{
        m_ui->viewOrvaneMenuBackground, m_ui->viewAccountMenuBackground, m_ui->viewPreferencesMenuBackground,
        m_ui->viewSupportMenuBackground, m_ui->viewAboutMenuBackground};
    return views[index(entry)];
}

QLabel* OVMainWindowController::menuLabel(MenuEntry entry) const {
    const std::array<QLabel*, kMenuEntryCount> labels{m_ui->labelOrvaneMenu, m_ui->labelAccountMenu,
                                                      m_ui->labelPreferencesMenu, m_ui->labelSupportMenu,
                                                      m_ui->labelAboutMenu};
    return labels[index(entry)];
}
