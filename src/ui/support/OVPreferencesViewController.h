#pragma once
#include "OVBaseViewController.h"

class OVPreferencesManagerProtocol;

namespace Ui {
class OVPreferencesViewController;
}

/**
 * The preferences entry: start at login, store and sync automatically (storing cannot be off while
 * syncing is on), update automatically, and a developer panel (server address, API version) kept
 * hidden. Every change is written at once. GUI thread only.
 */
class OVPreferencesViewController : public OVBaseViewController {
    Q_OBJECT
public:
    /** preferences is not owned and outlives the view. */
    explicit OVPreferencesViewController(OVPreferencesManagerProtocol* preferences,
                                         QWidget* parent = nullptr);
    ~OVPreferencesViewController() override;

    void initializeView() override;

protected:
    void paintColours() override;

private:
    void onAutoStartClick(bool checked);
    void onAutoStoreClick(bool checked);
    void onAutoSyncClick(bool checked);
    void onAutoUpdateClick(bool checked);
    void buttonResetClick();

    OVPreferencesManagerProtocol* m_preferences;
    Ui::OVPreferencesViewController* m_ui;
};
