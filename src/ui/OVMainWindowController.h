#pragma once

#include <QWidget>

#include <array>
#include <memory>

namespace Ui {
class OVMainWindowController2;
}
class OVBaseViewController;
class OVCredentialManagerProtocol;
class OVDeviceManager;
class OVPreferencesManagerProtocol;
class OVServiceProtocol;
class OVView;
class QLabel;

/**
 * The service's only window: a menu of five entries on the left, one content view on the right.
 * Owns the content controllers (each created once and kept while hidden), paints the menu's
 * selection and follows sign-in and sign-out. Lives on the GUI thread for the whole process.
 *
 * A view made elsewhere is put in the content area with setViewController (the controller behind
 * an entry) or displayViewController (whatever is shown now, the highlighted entry unchanged).
 */
class OVMainWindowController : public QWidget {
    Q_OBJECT
public:
    enum class MenuEntry { Orvane, Account, Preferences, Support, About };
    static constexpr int kMenuEntryCount = 5;

    /** None of the collaborators is owned; all must outlive the window. */
    OVMainWindowController(OVDeviceManager* deviceMgr, OVCredentialManagerProtocol* credentialMgr,
                           OVServiceProtocol* service, OVPreferencesManagerProtocol* preferences,
                           QWidget* parent = nullptr);
    ~OVMainWindowController() override;

    /** Each time the window is shown: the version label, and the first entry (devices when signed in). */
    void initializeView();

    void selectOrvane();
    void selectAccount();
    void selectPreferences();
    void selectSupport();
    void selectAbout();
    void select(MenuEntry entry);

    /** The entry whose clickable view is sender; any other sender is ignored. */
    void onMenuClick(OVView* sender);

    /**
     * The controller behind entry, made on first use for the device list. The window owns it.
     */
    OVBaseViewController* viewController(MenuEntry entry);
    /** Replaces the controller behind entry (the window takes it); shown at once if entry is. */
    void setViewController(MenuEntry entry, OVBaseViewController* controller);
    /** Puts controller's view in the content area in place of the current one and initialises it. */
    void displayViewController(OVBaseViewController* controller);
    /** None until the first selection. */
    OVBaseViewController* currentViewController() const { return m_currentViewController; }

    /** The clickable view, background view and label of an entry. */
    OVView* clickableView(MenuEntry entry) const;
    OVView* backgroundView(MenuEntry entry) const;
    QLabel* menuLabel(MenuEntry entry) const;

    OVDeviceManager* deviceManager() const { return m_deviceMgr; }
    OVCredentialManagerProtocol* credentialManager() const { return m_credentialMgr; }
    OVServiceProtocol* service() const { return m_service; }
    OVPreferencesManagerProtocol* preferences() const { return m_preferences; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void paintContainer();
    void awakeFromNib();
    void initializeViewControllers();
    /** The device list; a placeholder stands in until the list view exists. */
    OVBaseViewController* orvaneListViewCtrl();
    void unSelectAllMenu();
    void onSignIn();
    void onSignOut();

    std::unique_ptr<Ui::OVMainWindowController2> m_ui;
    OVDeviceManager* m_deviceMgr;
    OVCredentialManagerProtocol* m_credentialMgr;
    OVServiceProtocol* m_service;
    OVPreferencesManagerProtocol* m_preferences;
    /** Children of the window (Qt ownership), one per entry; the device list's made lazily. */
    std::array<OVBaseViewController*, kMenuEntryCount> m_viewControllers{};
    /** One of m_viewControllers, or a view put there with displayViewController. */
    OVBaseViewController* m_currentViewController = nullptr;
};
