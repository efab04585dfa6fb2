#include "OVAccountViewController.h"

#include "OVAccountSignIn.h"
#include "OVConfiguration.h"
#include "OVCredentialManagerProtocol.h"
#include "OVDataLookup.h"
#include "OVNotificationCenter.h"
#include "OVStyleManager.h"
#include "ui_OVAccountViewController.h"

#include <QDesktopServices>
#include <QPointer>
#include <QUrl>

OVAccountViewController::OVAccountViewController(OVServiceProtocol* service,
                                                 OVCredentialManagerProtocol* credentialMgr, QWidget* parent)
    : OVBaseViewController(parent)
    , m_ui(std::make_unique<Ui::OVAccountViewController>())
    , m_service(service)
    , m_credentialMgr(credentialMgr) {
    m_ui->setupUi(this);
    awakeFromNib();
    connect(m_ui->buttonSignIn, &QPushButton::clicked, this, &OVAccountViewController::onSignInClick);
    connect(m_ui->buttonSignUp, &QPushButton::clicked, this, &OVAccountViewController::onSignUpClick);
    connect(m_ui->buttonForgot, &QPushButton::clicked, this, &OVAccountViewController::onForgotPasswordClick);
    // Return in the password field signs in; leaving it any other way does not.
    connect(m_ui->secureTextFieldPassword, &QLineEdit::returnPressed, this,
            &OVAccountViewController::authenticate);
}

OVAccountViewController::~OVAccountViewController() = default;

void OVAccountViewController::awakeFromNib() {
    paintColours();
    QFont heading = m_ui->labelCredential->font();
    heading.setPointSizeF(heading.pointSizeF() * 1.2);
    heading.setBold(true);
    m_ui->labelCredential->setFont(heading);
    // The spinner keeps its place when hidden, so the form does not jump while signing in.
    QSizePolicy spinner = m_ui->progressIndicatorLogin->sizePolicy();
    spinner.setRetainSizeWhenHidden(true);
    m_ui->progressIndicatorLogin->setSizePolicy(spinner);
    m_ui->progressIndicatorLogin->hide();
}

void OVAccountViewController::paintColours() {
    m_ui->viewCredential->setBackgroundColor(OVStyleManager::getAccount_SignInBackgroundColor());
    QPalette form = m_ui->viewCredential->palette();
    form.setColor(QPalette::WindowText, OVStyleManager::getContent_TextColor());
    form.setColor(QPalette::Text, OVStyleManager::getContent_TextColor());
    form.setColor(QPalette::Base, OVStyleManager::getAccount_SignInBackgroundColor());
    form.setColor(QPalette::ButtonText, OVStyleManager::getContent_TextColor());
    form.setColor(QPalette::Button, OVStyleManager::getOrvane_DeviceButtonBackgroundColor());
    form.setColor(QPalette::Window, OVStyleManager::getAccount_SignInBackgroundColor());
    form.setColor(QPalette::Disabled, QPalette::Base,
                  OVStyleManager::getOrvane_DeviceButtonBackgroundColor());
    m_ui->viewCredential->setPalette(form);
    for (QPushButton* link : {m_ui->buttonForgot, m_ui->buttonSignUp}) {
        QPalette palette = link->palette();
        palette.setColor(QPalette::ButtonText, OVStyleManager::getAccount_LinkColor());
        link->setPalette(palette);
    }
}

void OVAccountViewController::initializeView() {
    m_ui->textFieldUsername->clear();
    m_ui->secureTextFieldPassword->clear();
    if (m_credentialMgr->isUserSignedIn())
        initializeViewWhenUserIsSignedIn();
    else
        initializeViewWhenUserNotSignedIn();
}

void OVAccountViewController::initializeViewWhenUserIsSignedIn() {
    m_ui->labelCredential->setText(tr("Signed in to your Orvane account"));
    m_ui->textFieldUsername->setText(m_credentialMgr->getUsername().value_or(QString()));
    m_ui->textFieldUsername->setEnabled(true);
    m_ui->secureTextFieldPassword->setText(m_credentialMgr->getPassword().value_or(QString()));
    m_ui->secureTextFieldPassword->setEnabled(false);
    setSignInButton(SignOutTag);
    m_ui->buttonSignIn->setEnabled(true);
    m_ui->buttonForgot->hide();
    m_ui->buttonSignUp->hide();
}

void OVAccountViewController::initializeViewWhenUserNotSignedIn() {
    m_ui->labelCredential->setText(tr("Sign in with your Orvane account"));
    m_ui->textFieldUsername->clear();
    m_ui->textFieldUsername->setEnabled(true);
    m_ui->secureTextFieldPassword->clear();
    m_ui->secureTextFieldPassword->setEnabled(true);
    setSignInButton(SignInTag);
    m_ui->buttonSignIn->setEnabled(true);
    m_ui->buttonForgot->show();
    m_ui->buttonSignUp->show();
}

void OVAccountViewController::onSignInClick() {
    if (m_signInButtonTag == SignInTag)
        authenticate();
    else
        logout();
}

void OVAccountViewController::authenticate() {
    // One sign-in at a time: Return in the password field must not start a second one.
    if (!m_ui->buttonSignIn->isEnabled() || m_signInButtonTag != SignInTag)
        return;
    const QString username = m_ui->textFieldUsername->text();
    const QString password = m_ui->secureTextFieldPassword->text();
    setAuthenticating(true);
    OVAccountSignIn::signIn(m_service, m_credentialMgr, username, password,
                            [self = QPointer<OVAccountViewController>(this), username,
                             password](const std::optional<QString>& failure) {
                                if (!self)
                                    return;
                                if (failure) {
                                    self->showMessage(tr("Authentication failed"), *failure);
                                    self->initializeView();
                                    // The typed values come back, so the user can correct them.
                                    self->m_ui->textFieldUsername->setText(username);
                                    self->m_ui->secureTextFieldPassword->setText(password);
                                } else {
                                    self->initializeView();
                                }
                                self->setAuthenticating(false);
                            });
}

void OVAccountViewController::logout() {
    m_credentialMgr->deleteCredential();
    OVDataLookup::sharedInstance().reset();
    toggleSignInButton();
    initializeViewWhenUserNotSignedIn();
    OVNotificationCenter::defaultCenter().post(OVNotificationName::OnSignOut);
}

void OVAccountViewController::toggleSignInButton() {
    setSignInButton(m_signInButtonTag == SignInTag ? SignOutTag : SignInTag);
}

void OVAccountViewController::setSignInButton(Tag tag) {
    m_signInButtonTag = tag;
    const QString title = tag == SignInTag ? tr("Sign In") : tr("Sign Out");
    m_ui->buttonSignIn->setText(title);
    m_ui->buttonSignIn->setAccessibleName(title);
}

void OVAccountViewController::setAuthenticating(bool authenticating) {
    m_ui->buttonSignIn->setEnabled(!authenticating);
    m_ui->textFieldUsername->setEnabled(!authenticating);
    m_ui->progressIndicatorLogin->setVisible(authenticating);
}

void OVAccountViewController::onSignUpClick() {
    QDesktopServices::openUrl(signUpUrl());
}

void OVAccountViewController::onForgotPasswordClick() {
    QDesktopServices::openUrl(forgotPasswordUrl());
}

QUrl OVAccountViewController::signUpUrl() {
    return QUrl(OVConfiguration::accountSiteUrl() + QStringLiteral("/signup"));
}

QUrl OVAccountViewController::forgotPasswordUrl() {
    return QUrl(OVConfiguration::accountSiteUrl() + QStringLiteral("/en/account/reset_password_request"));
}

QLineEdit* OVAccountViewController::textFieldUsername() const {
    return m_ui->textFieldUsername;
}
QLineEdit* OVAccountViewController::secureTextFieldPassword() const {
    return m_ui->secureTextFieldPassword;
}
QPushButton* OVAccountViewController::buttonSignIn() const {
    return m_ui->buttonSignIn;
}
QPushButton* OVAccountViewController::buttonForgot() const {
    return m_ui->buttonForgot;
}
QPushButton* OVAccountViewController::buttonSignUp() const {
    return m_ui->buttonSignUp;
}
QProgressBar* OVAccountViewController::progressIndicatorLogin() const {
    return m_ui->progressIndicatorLogin;
}
