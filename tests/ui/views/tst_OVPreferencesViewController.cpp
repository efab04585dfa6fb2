// The preferences view on its real widgets over the real preferences store: the switches write at
// once, storing cannot be off while syncing is on, and the developer fields reset to the defaults.
#include "OVLoginItem.h"
#include "OVPreferencesManager.h"
#include "OVPreferencesViewController.h"
#include "OVUserDefaults.h"
#include "SUUpdater.h"
#include "UiTestSupport.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_OVPreferencesViewController : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    SUUpdater m_updater;
    std::unique_ptr<OVPreferencesManager> m_preferences;
    std::unique_ptr<OVPreferencesViewController> m_view;

    QCheckBox* box(const char* name) { return m_view->findChild<QCheckBox*>(QLatin1String(name)); }
    QLineEdit* field(const char* name) { return m_view->findChild<QLineEdit*>(QLatin1String(name)); }

private Q_SLOTS:
    void initTestCase() {
        useTemporaryHome(m_home);
        m_preferences = std::make_unique<OVPreferencesManager>(
            OVLoginItem(u"/bin/true"_s, m_home.filePath(u"ovservices.desktop"_s)), &m_updater);
        m_view = std::make_unique<OVPreferencesViewController>(m_preferences.get());
        m_view->show();
    }

    // Whether storing and syncing are on: before, and after the click.
    void storeAndSyncStayCoupled_data() {
        QTest::addColumn<QList<bool>>("before");
        QTest::addColumn<QString>("clicked");
        QTest::addColumn<QList<bool>>("after");
        using On = QList<bool>;
        QTest::newRow("store off while syncing stays on")
            << On{true, true} << "checkAutoStore" << On{true, true};
        QTest::newRow("store off without sync") << On{true, false} << "checkAutoStore" << On{false, false};
        QTest::newRow("store on") << On{false, false} << "checkAutoStore" << On{true, false};
        QTest::newRow("sync on turns store on") << On{false, false} << "checkAutoSync" << On{true, true};
        QTest::newRow("sync off keeps store") << On{true, true} << "checkAutoSync" << On{true, false};
    }
    void storeAndSyncStayCoupled() {
        QFETCH(QList<bool>, before);
        QFETCH(QString, clicked);
        QFETCH(QList<bool>, after);
        m_preferences->setAutoStore(before[0]);
        m_preferences->setAutoSync(before[1]);
        m_view->initializeView();
        QTest::mouseClick(m_view->findChild<QCheckBox*>(clicked), Qt::LeftButton);
        QCOMPARE((QList<bool>{box("checkAutoStore")->isChecked(), box("checkAutoSync")->isChecked()}), after);
        QCOMPARE((QList<bool>{m_preferences->getAutoStore(), m_preferences->getAutoSync()}), after);
    }

    void developerFieldsWriteAndReset() {
        m_view->initializeView();
        m_view->resize(560, 520); // the main window's content area at its smallest
        QVERIFY(saveScreenshots(m_view.get(), u"preferences"_s));
        const QString defaultUrl = m_preferences->getServerUrl();
        const QString defaultVersion = m_preferences->getApiVersion();
        QVERIFY(!m_view->findChild<QWidget*>(u"viewForDevOnly"_s)->isVisible());
        QLineEdit* url = field("textFieldServerUrl");
        QLineEdit* version = field("textFieldApiVersion");
        url->setText(u"http://127.0.0.1:9/api/"_s);
        Q_EMIT url->editingFinished();
        version->setText(u"9.9.9"_s);
        Q_EMIT version->editingFinished();
        QCOMPARE(OVUserDefaults::objectForKey(u"Server Url"_s).toString(), u"http://127.0.0.1:9/api/"_s);
        QCOMPARE(OVUserDefaults::objectForKey(u"Api Version"_s).toString(), u"9.9.9"_s);
        m_view->findChild<QPushButton*>(u"buttonReset"_s)->click();
        QCOMPARE(url->text(), defaultUrl);
        QCOMPARE(version->text(), defaultVersion);
        QVERIFY(!OVUserDefaults::objectForKey(u"Server Url"_s).isValid());
        QVERIFY(!OVUserDefaults::objectForKey(u"Api Version"_s).isValid());
    }
};

QTEST_MAIN(tst_OVPreferencesViewController)
#include "tst_OVPreferencesViewController.moc"
