#include "OVAccountViewController.h"
#include "OVNotificationCenter.h"
#include "ViewRig.h"

#include <QDesktopServices>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>

using namespace Qt::StringLiterals;

class tst_OVAccountViewController : public QObject {
    Q_OBJECT

private:
    ViewRig m_rig;
    QStringList m_posted;
    QList<QUrl> m_opened;

    std::unique_ptr<QWidget> m_window;
    OVAccountViewController* m_view = nullptr;

public Q_SLOTS:
    void openUrl(const QUrl& url) { m_opened << url; }

private Q_SLOTS:
    void initTestCase() {
        QString error;
        QVERIFY2(m_rig.start(&error), qPrintable(error));
        qputenv("OV_ACCOUNT_SITE_URL", "https://account.orvane.test");
        for (const QString& name : {OVNotificationName::OnSignIn, OVNotificationName::OnSignOut})
            OVNotificationCenter::defaultCenter().addObserver(
                this, name, [this, name](const OVNotification&) { m_posted << name; });
        QDesktopServices::setUrlHandler(u"https"_s, this, "openUrl");
    }

    void cleanupTestCase() {
        OVNotificationCenter::defaultCenter().removeObserver(this);
        QDesktopServices::unsetUrlHandler(u"https"_s);
        QVERIFY(m_rig.stop());
    }

    void init() {
        m_rig.credentials.deleteCredential();
        m_posted.clear();
        m_opened.clear();
        m_window = std::make_unique<QWidget>();
        m_view = new OVAccountViewController(&m_rig.service, &m_rig.credentials, m_window.get());
        m_window->resize(520, 440);
        m_view->resize(520, 440);
        m_window->show();
        m_view->initializeView();
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
            qputenv("OV_SERVER_URL", u"http://127.0.0.1:%1/api/"_s.arg(OVCloudServer::freePort()).toUtf8());
        QCOMPARE(m_view->signInButtonTag(), int(OVAccountViewController::SignInTag));
        const QString password = how == u"wrong password"_s ? u"not-the-password"_s : m_rig.password;
        QTest::keyClicks(m_view->textFieldUsername(), *m_rig.coach.username);
        QTest::keyClicks(m_view->secureTextFieldPassword(), password);
        if (how == u"return"_s)
            QTest::keyClick(m_view->secureTextFieldPassword(), Qt::Key_Return);
        else
            QTest::mouseClick(m_view->buttonSignIn(), Qt::LeftButton);
        // In flight: no second sign-in can start, and the spinner says why.
        QVERIFY(!m_view->buttonSignIn()->isEnabled());
        QVERIFY(m_view->progressIndicatorLogin()->isVisible());

        if (failure.isEmpty()) {
            QTRY_COMPARE_WITH_TIMEOUT(m_posted, QStringList{OVNotificationName::OnSignIn}, 30000);
            QTRY_COMPARE(m_view->signInButtonTag(), int(OVAccountViewController::SignOutTag));
            QCOMPARE(m_view->buttonSignIn()->text(), u"Sign Out"_s);
            QCOMPARE(m_rig.credentials.getUsername(), m_rig.coach.username);
            QCOMPARE(m_view->secureTextFieldPassword()->text(), m_rig.password);
            QVERIFY(!m_view->secureTextFieldPassword()->isEnabled());
            QVERIFY(m_view->secureTextFieldPassword()->echoMode() == QLineEdit::Password);
            QVERIFY(m_view->buttonForgot()->isHidden());
        } else {
            QMessageBox* sheet = nullptr;
            QTRY_VERIFY_WITH_TIMEOUT((sheet = m_window->findChild<QMessageBox*>()), 30000);
            QCOMPARE(sheet->text(), u"Authentication failed"_s);
            QVERIFY2(sheet->informativeText().startsWith(failure), qPrintable(sheet->informativeText()));
            QCOMPARE(sheet->windowModality(), Qt::WindowModal);
            QVERIFY(!m_rig.credentials.isUserSignedIn());
            QVERIFY(m_posted.isEmpty());
            // The typed values come back for correcting.
            QCOMPARE(m_view->textFieldUsername()->text(), *m_rig.coach.username);
            QCOMPARE(m_view->secureTextFieldPassword()->text(), password);
            QCOMPARE(m_view->buttonSignIn()->text(), u"Sign In"_s);
            QVERIFY(!m_view->buttonForgot()->isHidden());
            if (serverDown)
                QVERIFY(saveScreenshot(m_window.get(), u"account-authentication-failed"_s));
            sheet->accept();
        }
        QVERIFY(m_view->buttonSignIn()->isEnabled());
        QVERIFY(m_view->textFieldUsername()->isEnabled());
        QVERIFY(!m_view->progressIndicatorLogin()->isVisible());
        qputenv("OV_SERVER_URL", apiUrl);
    }

    void signOut() {
        m_rig.credentials.saveCredential(m_rig.coach, m_rig.password);
        m_view->initializeView();
        QCOMPARE(m_view->signInButtonTag(), int(OVAccountViewController::SignOutTag));
        QVERIFY(saveScreenshot(m_window.get(), u"account-signed-in"_s));
        QTest::mouseClick(m_view->buttonSignIn(), Qt::LeftButton);
        QVERIFY(!m_rig.credentials.isUserSignedIn());
        QCOMPARE(m_posted, QStringList{OVNotificationName::OnSignOut});
        QCOMPARE(m_view->signInButtonTag(), int(OVAccountViewController::SignInTag));
        QCOMPARE(m_view->buttonSignIn()->text(), u"Sign In"_s);
        QVERIFY(m_view->textFieldUsername()->text().isEmpty());
        QVERIFY(m_view->secureTextFieldPassword()->isEnabled());
    }

    // Leaving the password field, signing up and the forgotten password never sign in.
    void otherWaysOutOfTheFormDoNotSignIn() {
        m_window->activateWindow(); // focus moves, and editing finishes, only in the active window
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        QTest::keyClicks(m_view->textFieldUsername(), *m_rig.coach.username);
        m_view->secureTextFieldPassword()->setFocus();
        QTest::keyClicks(m_view->secureTextFieldPassword(), m_rig.password);
        QTest::keyClick(m_view->secureTextFieldPassword(), Qt::Key_Tab);
        QTest::mouseClick(m_view->buttonSignUp(), Qt::LeftButton);
        QTest::mouseClick(m_view->buttonForgot(), Qt::LeftButton);
        QCOMPARE(m_opened,
                 (QList<QUrl>{QUrl(u"https://account.orvane.test/signup"_s),
                              QUrl(u"https://account.orvane.test/en/account/reset_password_request"_s)}));
        QVERIFY(m_view->buttonSignIn()->isEnabled());
        QVERIFY(!m_view->progressIndicatorLogin()->isVisible());
        QVERIFY(!m_rig.credentials.isUserSignedIn());
    }
};

QTEST_MAIN(tst_OVAccountViewController)
#include "tst_OVAccountViewController.moc"
