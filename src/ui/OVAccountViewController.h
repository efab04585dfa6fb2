#pragma once

#include "OVBaseViewController.h"

#include <memory>

namespace Ui {
class OVAccountViewController;
}
class OVCredentialManagerProtocol;
class OVServiceProtocol;
class QLineEdit;
class QProgressBar;
class QPushButton;

/**
 * The Account entry: e-mail and password, one button that signs in or out (its tag says which),
 * and the account site's sign-up and password-reset pages. GUI thread; authentication answers are
 * brought back to it.
 */
class OVAccountViewController : public OVBaseViewController {
    Q_OBJECT
public:
    /** Button tags: what pressing buttonSignIn does. */
    enum Tag { SignInTag = 0, SignOutTag = 1 };

    /** Neither collaborator is owned; both must outlive the view. */
    OVAccountViewController(OVServiceProtocol* service, OVCredentialManagerProtocol* credentialMgr,
                            QWidget* parent = nullptr);
    ~OVAccountViewController() override;

    /** Clears both fields, then the form of the current sign-in state. */
    void initializeView() override;

    void onSignInClick();
    void authenticate();
    void logout();
    void toggleSignInButton();
    void onSignUpClick();
    void onForgotPasswordClick();

    /** The account site's pages; from the configured account-site address. */
    static QUrl signUpUrl();
    static QUrl forgotPasswordUrl();

    int signInButtonTag() const { return m_signInButtonTag; }
    QLineEdit* textFieldUsername() const;
    QLineEdit* secureTextFieldPassword() const;
    QPushButton* buttonSignIn() const;
    QPushButton* buttonForgot() const;
    QPushButton* buttonSignUp() const;
    QProgressBar* progressIndicatorLogin() const;

protected:
    void paintColours() override;

private:
    void awakeFromNib();
    void initializeViewWhenUserIsSignedIn();
    void initializeViewWhenUserNotSignedIn();
    void setSignInButton(Tag tag);
    void setAuthenticating(bool authenticating);

    std::unique_ptr<Ui::OVAccountViewController> m_ui;
    OVServiceProtocol* m_service;
    OVCredentialManagerProtocol* m_credentialMgr;
    int m_signInButtonTag = SignInTag;
};
