#include "OVPreferencesViewController.h"
#include "OVContentPalette.h"
#include "OVPreferencesManagerProtocol.h"
#include "OVStyleManager.h"
#include "ui_OVPreferencesViewController.h"

OVPreferencesViewController::OVPreferencesViewController(OVPreferencesManagerProtocol* preferences,
                                                         QWidget* parent)
    : OVBaseViewController(parent)
    , m_preferences(preferences)
    , m_ui(new Ui::OVPreferencesViewController) {
    m_ui->setupUi(this);
    paintColours();
    m_ui->viewForDevOnly->hide();
    connect(m_ui->checkAutoStart, &QCheckBox::clicked, this, &OVPreferencesViewController::onAutoStartClick);
    connect(m_ui->checkAutoStore, &QCheckBox::clicked, this, &OVPreferencesViewController::onAutoStoreClick);
    connect(m_ui->checkAutoSync, &QCheckBox::clicked, this, &OVPreferencesViewController::onAutoSyncClick);
    connect(m_ui->checkAutoUpdate, &QCheckBox::clicked, this,
            &OVPreferencesViewController::onAutoUpdateClick);
    connect(m_ui->textFieldServerUrl, &QLineEdit::editingFinished, this,
            [this] { m_preferences->setServerUrl(m_ui->textFieldServerUrl->text()); });
    connect(m_ui->textFieldApiVersion, &QLineEdit::editingFinished, this,
            [this] { m_preferences->setApiVersion(m_ui->textFieldApiVersion->text()); });
    connect(m_ui->buttonReset, &QPushButton::clicked, this, &OVPreferencesViewController::buttonResetClick);
}

void OVPreferencesViewController::paintColours() {
    OVContentPalette::apply(m_ui->viewContainerBackground, OVStyleManager::getPreferences_BackgroundColor());
    m_ui->viewContainerBackground->setBackgroundColor(OVStyleManager::getPreferences_BackgroundColor());
}

OVPreferencesViewController::~OVPreferencesViewController() {
    delete m_ui;
}

void OVPreferencesViewController::initializeView() {
    m_ui->checkAutoStart->setChecked(m_preferences->getAutoStart());
    m_ui->checkAutoStore->setChecked(m_preferences->getAutoStore());
    m_ui->checkAutoSync->setChecked(m_preferences->getAutoSync());
    m_ui->checkAutoUpdate->setChecked(m_preferences->getAutoUpdate());
    m_ui->textFieldServerUrl->setText(m_preferences->getServerUrl());
    m_ui->textFieldApiVersion->setText(m_preferences->getApiVersion());
}

void OVPreferencesViewController::onAutoStartClick(bool checked) {
    m_preferences->setAutoStart(checked);
}

void OVPreferencesViewController::onAutoStoreClick(bool checked) {
    if (!checked && m_ui->checkAutoSync->isChecked()) {
        // Uploading needs the sessions stored first: storing stays on while syncing is on.
        m_ui->checkAutoStore->setChecked(true);
        m_preferences->setAutoStore(true);
        return;
    }
    m_preferences->setAutoStore(checked);
}

void OVPreferencesViewController::onAutoSyncClick(bool checked) {
    m_preferences->setAutoSync(checked);
    if (checked) {
        m_preferences->setAutoStore(true);
        m_ui->checkAutoStore->setChecked(true);
    }
}

void OVPreferencesViewController::onAutoUpdateClick(bool checked) {
    m_preferences->setAutoUpdate(checked);
}

void OVPreferencesViewController::buttonResetClick() {
    m_preferences->resetServerUrl();
    m_preferences->resetApiVersion();
    initializeView();
}
