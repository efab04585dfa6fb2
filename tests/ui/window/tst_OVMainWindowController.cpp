#include "OVBaseViewController.h"
#include "OVCredentialManager.h"
#include "OVMainWindowController.h"
#include "OVNotificationCenter.h"
#include "OVPlaceholderViewController.h"
#include "OVPreferencesManager.h"
#include "OVStyleManager.h"
#include "OVView.h"
#include "PseudoLocale.h"

#include <QLabel>
#include <QPointer>
#include <QTest>

#include <optional>

using namespace Qt::StringLiterals;
using Entry = OVMainWindowController::MenuEntry;
Q_DECLARE_METATYPE(Entry)

class tst_OVMainWindowController : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_home;
    std::unique_ptr<OVCredentialManager> m_credentials;
    std::unique_ptr<OVPreferencesManager> m_preferences;

    std::unique_ptr<OVMainWindowController> makeWindow(bool initialize = true) {
        auto window = std::make_unique<OVMainWindowController>(nullptr, m_credentials.get(), nullptr,
                                                               m_preferences.get());
        window->resize(window->minimumSize());
        window->show();
        if (initialize)
            window->initializeView();
        return window;
    }

    void signInCoach() {
        OVUser coach;
        coach.username = u"coach"_s;
        m_credentials->saveCredential(coach, u"orvane-demo"_s);
    }

    /** The entries painted as selected; fill and text colour must agree. */
    static QList<Entry> highlighted(OVMainWindowController& window) {
        QList<Entry> entries;
        for (int i = 0; i < OVMainWindowController::kMenuEntryCount; ++i) {
            const auto entry = static_cast<Entry>(i);
            const bool filled = window.backgroundView(entry)->backgroundColor().style() != Qt::NoBrush;
            const bool selectedText = window.menuLabel(entry)->palette().color(QPalette::WindowText) ==
                                      OVStyleManager::getMainWindow_MenuFontColorSelected();
            if (filled || selectedText)
                entries << entry;
        }
        return entries;
    }

    static void verifyShows(OVMainWindowController& window, Entry entry) {
        QCOMPARE(highlighted(window), QList<Entry>{entry});
        OVBaseViewController* shown = window.viewController(entry);
        QCOMPARE(window.currentViewController(), shown);
        QCOMPARE(shown->geometry(), shown->parentWidget()->rect());
        for (int i = 0; i < OVMainWindowController::kMenuEntryCount; ++i)
            QCOMPARE(window.viewController(static_cast<Entry>(i))->isVisible(), i == int(entry));
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_home.isValid());
        useTemporaryHome(m_home);
        m_credentials = std::make_unique<OVCredentialManager>();
        m_preferences = std::make_unique<OVPreferencesManager>();
    }

    void init() { m_credentials->deleteCredential(); }

    // The first showing, and the window at its smallest with each entry's view made in the pseudo
    // locale (every text of the table translated and whole). A row's name up to its comma is its
    // screenshot's.
    void firstShowing_data() {
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<Entry>("entry");
        QTest::addColumn<bool>("pseudo");
        QTest::newRow("main-window-signed-in") << true << Entry::Orvane << false;
        QTest::newRow("main-window-signed-out") << false << Entry::Account << false;
        QTest::newRow("main-window-signed-in, pseudo") << true << Entry::Orvane << true;
        QTest::newRow("main-window-signed-out, pseudo") << false << Entry::Account << true;
        QTest::newRow("main-window-preferences, pseudo") << true << Entry::Preferences << true;
        QTest::newRow("main-window-support, pseudo") << true << Entry::Support << true;
        QTest::newRow("main-window-about, pseudo") << true << Entry::About << true;
    }
    void firstShowing() {
        QFETCH(bool, signedIn);
        QFETCH(Entry, entry);
        QFETCH(bool, pseudo);
        if (signedIn)
            signInCoach();
        std::optional<PseudoLocale> locale;
        if (pseudo)
            QVERIFY(locale.emplace().isInstalled());
        auto window = makeWindow(false);
        QCOMPARE(window->currentViewController(), nullptr);
        window->initializeView();
        if (entry != Entry::Orvane && entry != Entry::Account) // the first showing chooses one of those
            QTest::mouseClick(window->clickableView(entry), Qt::LeftButton);
        verifyShows(*window, entry);
        QCOMPARE(window->findChild<QLabel*>(u"labelVersion"_s)->text(), u"v1.0.0"_s);
        const QString name = QString::fromLatin1(QTest::currentDataTag()).section(u',', 0, 0);
        QVERIFY(pseudo ? savePseudoScreenshot(window.get(), name) : saveScreenshots(window.get(), name));
    }

    // Steps, space separated: "click:N", "key:N" (N an entry number), "show", "signIn", "signOut",
    // "stranger".
    void selection_data() {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<Entry>("expected");
        QTest::newRow("click") << u"click:2"_s << Entry::Preferences;
        QTest::newRow("showing again keeps the entry") << u"click:2 show"_s << Entry::Preferences;
        QTest::newRow("the same entry twice") << u"click:4 click:4"_s << Entry::About;
        QTest::newRow("sign-out from elsewhere") << u"click:3 signOut"_s << Entry::Account;
        QTest::newRow("sign-in") << u"signIn"_s << Entry::Orvane;
        QTest::newRow("keyboard") << u"key:3"_s << Entry::Support;
        QTest::newRow("a view that is no entry") << u"stranger"_s << Entry::Account;
    }
    void selection() {
        QFETCH(QString, steps);
        QFETCH(Entry, expected);
        auto window = makeWindow();
        OVView stranger;
        for (const QString& step : steps.split(u' ')) {
            const auto entry = static_cast<Entry>(step.section(u':', 1).toInt());
            if (step.startsWith(u"click:"_s)) {
                QTest::mouseClick(window->clickableView(entry), Qt::LeftButton);
            } else if (step.startsWith(u"key:"_s)) {
                window->clickableView(entry)->setFocus();
                QTest::keyClick(window->clickableView(entry), Qt::Key_Space);
            } else if (step == u"show"_s) {
                window->initializeView();
            } else if (step == u"signIn"_s) {
                OVNotificationCenter::defaultCenter().post(OVNotificationName::OnSignIn);
            } else if (step == u"signOut"_s) {
                OVNotificationCenter::defaultCenter().post(OVNotificationName::OnSignOut);
            } else {
                window->onMenuClick(&stranger);
            }
        }
        verifyShows(*window, expected);
        if (expected == Entry::About)
            QVERIFY(saveScreenshot(window.get(), u"main-window-about"_s));
    }

    void contentArea() {
        auto window = makeWindow();
        window->selectOrvane();
        // A new controller for the shown entry replaces the old one on screen and frees it.
        QPointer<OVBaseViewController> old = window->viewController(Entry::Orvane);
        auto* list = new OVPlaceholderViewController(u"List"_s, QString());
        window->setViewController(Entry::Orvane, list);
        QVERIFY(old.isNull());
        verifyShows(*window, Entry::Orvane);
        QCOMPARE(window->viewController(Entry::Orvane), list);
        // A sub-view shown in the content area keeps the entry highlighted.
        auto* detail = new OVPlaceholderViewController(u"Detail"_s, QString(), window.get());
        window->displayViewController(detail);
        QCOMPARE(window->currentViewController(), detail);
        QVERIFY(detail->isVisible() && !list->isVisible());
        QCOMPARE(highlighted(*window), QList<Entry>{Entry::Orvane});
    }
};

QTEST_MAIN(tst_OVMainWindowController)
#include "tst_OVMainWindowController.moc"
