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

class tst_OVPreferencesViewController : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    std::unique_ptr<SUUpdater> m_updater;
    std::unique_ptr<OVPreferencesManager> m_preferences;
    std::unique_ptr<OVPreferencesViewController> m_view;

    QCheckBox* box(const char* name) { return m_view->findChild<QCheckBox*>(QLatin1String(name)); }
    QLineEdit* field(const char* name) { return m_view->findChild<QLineEdit*>(QLatin1String(name)); }

private Q_SLOTS:
    void initTestCase() {
        qputenv("HOME", QFile::encodeName(m_home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.filePath(QStringLiteral("config"))));
        m_updater = std::make_unique<SUUpdater>();
        m_preferences = std::make_unique<OVPreferencesManager>(
            OVLoginItem(QStringLiteral("/bin/true"), m_home.filePath(QStringLiteral("ovservices.desktop"))),
            m_updater.get());
        m_view = std::make_unique<OVPreferencesViewController>(m_preferences.get());
        m_view->show();
    }

    void storeAndSyncStayCoupled_data() {
        QTest::addColumn<bool>("store");
        QTest::addColumn<bool>("sync");
        QTest::addColumn<QString>("clicked");
        QTest::addColumn<bool>("storeAfter");
        QTest::addColumn<bool>("syncAfter");
        QTest::newRow("store off while syncing stays on") << true << true << "checkAutoStore" << true << true;
        QTest::newRow("store off without sync") << true << false << "checkAutoStore" << false << false;
        QTest::newRow("store on") << false << false << "checkAutoStore" << true << false;
        QTest::newRow("sync on turns store on") << false << false << "checkAutoSync" << true << true;
        QTest::newRow("sync off keeps store") << true << true << "checkAutoSync" << true << false;
    }
    void storeAndSyncStayCoupled() {
        QFETCH(bool, store);
        QFETCH(bool, sync);
        QFETCH(QString, clicked);
        QFETCH(bool, storeAfter);
        QFETCH(bool, syncAfter);
        m_preferences->setAutoStore(store);
        m_preferences->setAutoSync(sync);
        m_view->initializeView();
        QTest::mouseClick(m_view->findChild<QCheckBox*>(clicked), Qt::LeftButton);
        const QList<bool> after{storeAfter, syncAfter};
        QCOMPARE((QList<bool>{box("checkAutoStore")->isChecked(), box("checkAutoSync")->isChecked()}), after);
        QCOMPARE((QList<bool>{m_preferences->getAutoStore(), m_preferences->getAutoSync()}), after);
    }

    void developerFieldsWriteAndReset() {
        const QString defaultUrl = m_preferences->getServerUrl();
        const QString defaultVersion = m_preferences->getApiVersion();
        QVERIFY(!m_view->findChild<QWidget*>(QStringLiteral("viewForDevOnly"))->isVisible());
        QLineEdit* url = field("textFieldServerUrl");
        QLineEdit* version = field("textFieldApiVersion");
        url->setText(QStringLiteral("http://127.0.0.1:9/api/"));
        Q_EMIT url->editingFinished();
        version->setText(QStringLiteral("9.9.9"));
        Q_EMIT version->editingFinished();
        QCOMPARE(OVUserDefaults::objectForKey(QStringLiteral("Server Url")).toString(),
                 QStringLiteral("http://127.0.0.1:9/api/"));
        QCOMPARE(OVUserDefaults::objectForKey(QStringLiteral("Api Version")).toString(),
                 QStringLiteral("9.9.9"));
        m_view->findChild<QPushButton*>(QStringLiteral("buttonReset"))->click();
        QCOMPARE(url->text(), defaultUrl);
        QCOMPARE(version->text(), defaultVersion);
        QVERIFY(!OVUserDefaults::objectForKey(QStringLiteral("Server Url")).isValid());
        QVERIFY(!OVUserDefaults::objectForKey(QStringLiteral("Api Version")).isValid());
    }

    void screenshots() {
        m_view->initializeView();
        QVERIFY(saveScreenshots(m_view.get(), QStringLiteral("preferences")));
    }
};

QTEST_MAIN(tst_OVPreferencesViewController)
#include "tst_OVPreferencesViewController.moc"
