#include "OVAccountViewController.h"
#include "OVCloudServer.h"
#include "OVNotificationCenter.h"
#include "OVPreferencesManager.h"
#include "OVService.h"
#include "SUUpdater.h"
#include "UiTestSupport.h"

#include <QDesktopServices>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QUrl>

using namespace Qt::StringLiterals;

class tst_OVAccountViewController : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_home;
    OVCloudServer m_server;
    std::unique_ptr<OVCredentialManager> m_credentials;
    SUUpdater m_updater;
    std::unique_ptr<OVPreferencesManager> m_preferences;
    std::unique_ptr<OVService> m_service;
    QString m_username;
    QString m_password;
    QStringList m_posted;
    QList<QUrl> m_opened;

    struct Form {
        QWidget window;
        OVAccountViewController* view;
    };

    std::unique_ptr<Form> makeForm() {
        auto form = std::make_unique<Form>();
        form->view = new OVAccountViewController(m_service.get(), m_credentials.get(), &form->window);
        form->window.resize(520, 440);
        form->view->resize(520, 440);
        form->window.show();
        form->view->initializeView();
        return form;
    }

public Q_SLOTS:
    void openUrl(const QUrl& url) { m_opened << url; }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_home.isValid());
        useTemporaryHome(m_home);
        QString error;
        QVERIFY2(m_server.start(&error), qPrintable(error));
        qputenv("OV_SERVER_URL", m_server.apiUrl().toUtf8());
        qputenv("OV_NETWORK_TIME_URL", m_server.rootUrl().toUtf8());
        qputenv("OV_ACCOUNT_SITE_URL", "https://account.orvane.test");
        m_credentials = std::make_unique<OVCredentialManager>();
        m_preferences = std::make_unique<OVPreferencesManager>(OVLoginItem(QString(), QString()), &m_updater);
        m_service = std::make_unique<OVService>(m_credentials.get(), m_preferences.get());
        const QJsonObject demo = OVCloudServer::demoAccount();
        m_username = demo.value(QLatin1String("username")).toString();
        m_password = demo.value(QLatin1String("password")).toString();
        for (const QString& name : {OVNotificationName::OnSignIn, OVNotificationName::OnSignOut})
            OVNotificationCenter::defaultCenter().addObserver(
                this, name, [this, name](const OVNotification&) { m_posted << name; });
        QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "openUrl");
    }

    void cleanupTestCase() {
        OVNotificationCenter::defaultCenter().removeObserver(this);
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    }

    void init() {
        m_credentials->deleteCredential();
        m_posted.clear();
        m_opened.clear();
    }

    void signIn_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("failure");
        QTest::newRow("right password") << u"click"_s << QString();
        QTest::newRow("right password, Return in the password field") << u"return"_s << QString();
        QTest::newRow("wrong password") << u"wrong password"_s << u"The email or the password is invalid."_s;
        // The sentence's period and the format's stand side by side.
        QTest::newRow("server down") << u"server down"_s << u"The authentication failed.. Error:"_s;
    }
    void signIn() {
        QFETCH(QString, how);
        QFETCH(QString, failure);
        const bool serverDown = how == u"server down"_s;
        const QByteArray apiUrl = qgetenv("OV_SERVER_URL");
        if (serverDown)
            qputenv("OV_SERVER_URL",
                    QStringLiteral("http://127.0.0.1:%1/api/").arg(OVCloudServer::freePort()).toUtf8());
        auto form = makeForm();
        OVAccountViewController* view = form->view;
        QCOMPARE(view->signInButtonTag(), int(OVAccountViewController::SignInTag));
        const QString password = how == u"wrong password"_s ? u"not-the-password"_s : m_password;
        QTest::keyClicks(view->textFieldUsername(), m_username);
        QTest::keyClicks(view->secureTextFieldPassword(), password);
        if (how == u"return"_s)
            QTest::keyClick(view->secureTextFieldPassword(), Qt::Key_Return);
        else
            QTest::mouseClick(view->buttonSignIn(), Qt::LeftButton);
        // In flight: no second sign-in can start, and the spinner says why.
        QVERIFY(!view->buttonSignIn()->isEnabled());
        QVERIFY(view->progressIndicatorLogin()->isVisible());

        if (failure.isEmpty()) {
            QTRY_COMPARE_WITH_TIMEOUT(m_posted, QStringList{OVNotificationName::OnSignIn}, 30000);
            QTRY_COMPARE(view->signInButtonTag(), int(OVAccountViewController::SignOutTag));
            QCOMPARE(view->buttonSignIn()->text(), QStringLiteral("Sign Out"));
            QCOMPARE(m_credentials->getUsername(), std::optional<QString>(m_username));
            QCOMPARE(view->secureTextFieldPassword()->text(), m_password);
            QVERIFY(!view->secureTextFieldPassword()->isEnabled());
            QVERIFY(view->secureTextFieldPassword()->echoMode() == QLineEdit::Password);
            QVERIFY(view->buttonForgot()->isHidden());
        } else {
            QMessageBox* sheet = nullptr;
            QTRY_VERIFY_WITH_TIMEOUT((sheet = form->window.findChild<QMessageBox*>()), 30000);
            QCOMPARE(sheet->text(), QStringLiteral("Authentication failed"));
            QVERIFY2(sheet->informativeText().startsWith(failure), qPrintable(sheet->informativeText()));
            QCOMPARE(sheet->windowModality(), Qt::WindowModal);
            QVERIFY(!m_credentials->isUserSignedIn());
            QVERIFY(m_posted.isEmpty());
            // The typed values come back for correcting.
            QCOMPARE(view->textFieldUsername()->text(), m_username);
            QCOMPARE(view->secureTextFieldPassword()->text(), password);
            QCOMPARE(view->buttonSignIn()->text(), QStringLiteral("Sign In"));
            QVERIFY(!view->buttonForgot()->isHidden());
            if (serverDown)
                QVERIFY(saveScreenshot(&form->window, QStringLiteral("account-authentication-failed")));
            sheet->accept();
        }
        QVERIFY(view->buttonSignIn()->isEnabled());
        QVERIFY(view->textFieldUsername()->isEnabled());
        QVERIFY(!view->progressIndicatorLogin()->isVisible());
        qputenv("OV_SERVER_URL", apiUrl);
    }

    void leavingThePasswordFieldDoesNotSignIn() {
        auto form = makeForm();
        QTest::keyClicks(form->view->textFieldUsername(), m_username);
        form->view->secureTextFieldPassword()->setFocus();
        QTest::keyClicks(form->view->secureTextFieldPassword(), m_password);
        QTest::keyClick(form->view->secureTextFieldPassword(), Qt::Key_Tab);
        QVERIFY(form->view->buttonSignIn()->isEnabled());
        QVERIFY(!form->view->progressIndicatorLogin()->isVisible());
        QVERIFY(!m_credentials->isUserSignedIn());
    }

    void signOut() {
        storeCoachCredential(*m_credentials, m_username, m_password);
        auto form = makeForm();
        QCOMPARE(form->view->signInButtonTag(), int(OVAccountViewController::SignOutTag));
        QVERIFY(saveScreenshot(&form->window, QStringLiteral("account-signed-in")));
        QTest::mouseClick(form->view->buttonSignIn(), Qt::LeftButton);
        QVERIFY(!m_credentials->isUserSignedIn());
        QCOMPARE(m_posted, QStringList{OVNotificationName::OnSignOut});
        QCOMPARE(form->view->signInButtonTag(), int(OVAccountViewController::SignInTag));
        QCOMPARE(form->view->buttonSignIn()->text(), QStringLiteral("Sign In"));
        QVERIFY(form->view->textFieldUsername()->text().isEmpty());
        QVERIFY(form->view->secureTextFieldPassword()->isEnabled());
    }

    void accountSiteLinks() {
        auto form = makeForm();
        QTest::mouseClick(form->view->buttonSignUp(), Qt::LeftButton);
        QTest::mouseClick(form->view->buttonForgot(), Qt::LeftButton);
        QCOMPARE(m_opened,
                 (QList<QUrl>{
                     QUrl(QStringLiteral("https://account.orvane.test/signup")),
                     QUrl(QStringLiteral("https://account.orvane.test/en/account/reset_password_request"))}));
    }
};

QTEST_MAIN(tst_OVAccountViewController)
#include "tst_OVAccountViewController.moc"
