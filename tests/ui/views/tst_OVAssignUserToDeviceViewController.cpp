// The assign-user view on its real widgets, over emulated devices and the real ovcloud: the search,
// drops onto and between device rows, the keyboard way to assign, "Unknown" users, and the team load's
// failures (an error sheet and Refresh retrying; refused credentials signing out).
#include "OVAssignDragData.h"
#include "OVAssignUserToDeviceViewController.h"
#include "PseudoLocale.h"
#include "ViewRig.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QTableWidget>

using namespace Qt::StringLiterals;

class tst_OVAssignUserToDeviceViewController : public QObject {
    Q_OBJECT

    ViewRig m_rig;
    std::unique_ptr<OVAssignUserToDeviceViewController> m_view;
    int m_logouts = 0;

    QTableWidget* deviceTable() { return m_view->findChild<QTableWidget*>(u"deviceTable"_s); }
    QListWidget* athleteTable() { return m_view->findChild<QListWidget*>(u"athleteTable"_s); }
    QLineEdit* searchField() { return m_view->findChild<QLineEdit*>(u"searchField"_s); }
    QPushButton* button(const char* name) { return m_view->findChild<QPushButton*>(QLatin1String(name)); }

    QStringList shownUsers() {
        QStringList names;
        for (const QListWidgetItem* item : athleteTable()->findItems(u"*"_s, Qt::MatchWildcard))
            names << item->text();
        return names;
    }
    QString rowUser(int row) {
        const QTableWidgetItem* item = deviceTable()->item(row, 1);
        return item ? item->text() : QString();
    }
    int userRow(const QString& name) {
        const auto found = athleteTable()->findItems(name, Qt::MatchExactly);
        return found.isEmpty() ? -1 : athleteTable()->row(found.first());
    }
    quint32 deviceUser(const QString& serial) { return m_rig.devices->hub().device(serial)->defaultUser; }
    bool teamsLoaded() { return button("buttonRefresh")->isEnabled(); }

    /** Drops mime data on the device table at y within row (or below the rows for row -1). */
    bool drop(QMimeData* data, int row, int yInRow) {
        QWidget* viewport = deviceTable()->viewport();
        const QRect rect = row >= 0 ? deviceTable()->visualRect(deviceTable()->model()->index(row, 0))
                                    : QRect(0, viewport->height() - 4, 10, 2);
        const QPoint at(rect.left() + 5, rect.top() + yInRow);
        // As a real drag does: entering the table first makes it the drop target.
        QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &enter);
        QDropEvent event(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &event);
        return event.isAccepted();
    }

    void makeView() {
        m_view = std::make_unique<OVAssignUserToDeviceViewController>(m_rig.manager.get(), &m_rig.service);
        m_view->setLogoutHandler([this] { ++m_logouts; });
        m_view->resize(560, 520);
        m_view->show();
        m_view->subscribeToNotifications();
        m_view->initializeView();
    }

private Q_SLOTS:
    void initTestCase() {
        QString error;
        QVERIFY2(m_rig.start(&error), qPrintable(error));
        makeView();
        QTRY_VERIFY_WITH_TIMEOUT(teamsLoaded(), 30000);
    }
    void cleanupTestCase() {
        m_view.reset();
        QVERIFY(m_rig.stop());
    }
    void cleanup() {
        QVERIFY(m_rig.settle());
        QTRY_COMPARE(deviceTable()->rowCount(), 0);
        while (QMessageBox* box = ViewRig::visibleMessageBox())
            box->close();
        searchField()->clear();
    }

    void searchFiltersTheSelectedTeam() {
        auto* combo = m_view->findChild<QComboBox*>(u"comboTeam"_s);
        QCOMPARE(combo->itemText(0), u"All"_s);
        QCOMPARE(athleteTable()->count(), 6);
        for (const QString& name : shownUsers())
            QVERIFY2(!name.trimmed().isEmpty(), "a member without names is listed by another name");
        QTest::keyClicks(searchField(), u"AR"_s);
        QCOMPARE(shownUsers(), (QStringList{u"Chiara Rossi"_s, u"Elena Park"_s}));
        combo->setCurrentIndex(combo->findText(u"Sprint"_s));
        QCOMPARE(shownUsers(), QStringList{u"Chiara Rossi"_s});
        combo->setCurrentIndex(0);
    }

    void dropsAssignOnlyOntoADeviceRow_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("yInRow");
        QTest::addColumn<bool>("ours");
        QTest::addColumn<bool>("assigns");
        QTest::newRow("between rows (top edge)") << 0 << 1 << true << false;
        QTest::newRow("below the last row") << -1 << 0 << true << false;
        QTest::newRow("someone else's drag") << 0 << 12 << false << false;
        QTest::newRow("onto the row") << 0 << 12 << true << true;
    }
    void dropsAssignOnlyOntoADeviceRow() {
        QFETCH(int, row);
        QFETCH(int, yInRow);
        QFETCH(bool, ours);
        QFETCH(bool, assigns);
        const auto device = m_rig.plug(0, 101);
        QVERIFY(device);
        QTRY_COMPARE(deviceTable()->rowCount(), 1);
        QTRY_COMPARE(rowUser(0), u"Ada Lindqvist"_s);
        const int bruno = userRow(u"Bruno Okafor"_s);
        QVERIFY(bruno >= 0);
        std::unique_ptr<QMimeData> data(ours ? OVAssignDragData::encodeRows({bruno}) : new QMimeData);
        if (!ours)
            data->setText(QString::number(bruno));
        QCOMPARE(drop(data.get(), row, yInRow), assigns);
        // A drop assigns at once (the row shows its progress) or not at all.
        QCOMPARE(m_view->isAssigning(device->serial()), assigns);
        QCOMPARE(deviceTable()->cellWidget(0, 2) != nullptr, assigns);
        QTRY_COMPARE(deviceUser(device->serial()), assigns ? 102u : 101u);
        QTRY_COMPARE(rowUser(0), assigns ? u"Bruno Okafor"_s : u"Ada Lindqvist"_s);
        QVERIFY(!m_view->isAssigning(device->serial()) && !deviceTable()->cellWidget(0, 2));
    }

    // Three devices sorted by serial, the first with a user the account does not know; the middle one
    // is chosen with a user, then one of them leaves (or none), and Ctrl+Return assigns.
    void keyboardAssignsToTheChosenDeviceWhenRowsShift_data() {
        QTest::addColumn<int>("leaving");
        QTest::newRow("no device leaves") << -1;
        QTest::newRow("a device above the chosen one leaves") << 0;
        QTest::newRow("the chosen device leaves") << 1;
    }
    void keyboardAssignsToTheChosenDeviceWhenRowsShift() {
        QFETCH(int, leaving);
        QList<std::shared_ptr<OVDeviceInfo>> plugged;
        for (const quint64 user : {999, 101, 101})
            plugged << m_rig.plug(0, user);
        QVERIFY(plugged[0] && plugged[1] && plugged[2]);
        QTRY_COMPARE(deviceTable()->rowCount(), 3);
        QCOMPARE(deviceTable()->item(0, 0)->text(), plugged[0]->serial());
        QTRY_COMPARE(rowUser(1), u"Ada Lindqvist"_s);
        QCOMPARE(rowUser(0), u"Unknown"_s);
        QVERIFY(!button("buttonAssign")->isEnabled());
        deviceTable()->selectRow(1);
        athleteTable()->setCurrentRow(userRow(u"Chiara Rossi"_s));
        QVERIFY(button("buttonAssign")->isEnabled());
        if (leaving >= 0) {
            QVERIFY(m_rig.unplug(plugged[leaving]->serial()));
            QTRY_COMPARE(deviceTable()->rowCount(), 2);
        }
        const bool chosenLeft = leaving == 1;
        QCOMPARE(button("buttonAssign")->isEnabled(), !chosenLeft);
        QTest::keyClick(m_view.get(), Qt::Key_Return, Qt::ControlModifier);
        if (!chosenLeft) {
            QCOMPARE(deviceTable()->item(deviceTable()->currentRow(), 0)->text(), plugged[1]->serial());
            QTRY_COMPARE(deviceUser(plugged[1]->serial()), quint32(103));
            QTRY_COMPARE(rowUser(deviceTable()->currentRow()), u"Chiara Rossi"_s);
            if (leaving < 0)
                QVERIFY(saveScreenshots(m_view.get(), u"assign-user"_s));
        } else {
            QVERIFY(deviceTable()->selectedItems().isEmpty());
            QVERIFY(saveScreenshots(m_view.get(), u"assign-user-device-left"_s));
        }
        QCOMPARE(m_view->findChild<QLabel*>(u"labelDeviceLeft"_s)->isVisible(), chosenLeft);
        // Nothing was written to a device the user did not choose.
        QTest::qWait(300);
        QCOMPARE(deviceUser(plugged[0]->serial()), quint32(999));
        QCOMPARE(deviceUser(plugged[2]->serial()), quint32(101));
    }

    void teamLoadFailures_data() {
        QTest::addColumn<bool>("refusedCredentials");
        QTest::newRow("no connection: error sheet, Refresh retries") << false;
        QTest::newRow("refused credentials sign out") << true;
    }
    void teamLoadFailures() {
        QFETCH(bool, refusedCredentials);
        const int logouts = m_logouts;
        if (refusedCredentials)
            m_rig.credentials.saveCredential(m_rig.coach, u"wrong password"_s);
        else
            qputenv("OV_SERVER_URL", u"http://127.0.0.1:%1/api/"_s.arg(OVCloudServer::freePort()).toUtf8());
        QTest::mouseClick(button("buttonRefresh"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(teamsLoaded(), 30000);
        QCOMPARE(athleteTable()->count(), 0);
        if (refusedCredentials) {
            QCOMPARE(m_logouts, logouts + 1);
            m_rig.credentials.saveCredential(m_rig.coach, m_rig.password);
        } else {
            QTRY_VERIFY(ViewRig::visibleMessageBox());
            QCOMPARE(ViewRig::visibleMessageBox()->text(), u"Error"_s);
            QVERIFY(!ViewRig::visibleMessageBox()->informativeText().isEmpty());
            QCOMPARE(m_logouts, logouts);
            qputenv("OV_SERVER_URL", m_rig.server.apiUrl().toUtf8());
            ViewRig::visibleMessageBox()->close();
        }
        QTest::mouseClick(button("buttonRefresh"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(teamsLoaded(), 30000);
        QCOMPARE(athleteTable()->count(), 6);
        QVERIFY(!ViewRig::visibleMessageBox());
    }

    // Last: the view is made again in the pseudo locale, with two devices, then with the chosen one gone.
    void textsTranslatedAndWholeInThePseudoLocale() {
        PseudoLocale pseudo;
        QVERIFY(pseudo.isInstalled());
        m_view.reset();
        OVDataLookup::sharedInstance().resetTeams(); // loaded again: the "All" team in the pseudo table
        makeView();
        QTRY_VERIFY_WITH_TIMEOUT(teamsLoaded(), 30000);
        const auto first = m_rig.plug(0, 999);
        const auto second = m_rig.plug(0, 101);
        QVERIFY(first && second);
        QTRY_COMPARE(deviceTable()->rowCount(), 2);
        QTRY_COMPARE(rowUser(1), u"Ada Lindqvist"_s);
        QVERIFY(savePseudoScreenshot(m_view.get(), u"assign-user"_s));
        deviceTable()->selectRow(0);
        athleteTable()->setCurrentRow(userRow(u"Chiara Rossi"_s));
        QVERIFY(m_rig.unplug(first->serial()));
        QTRY_VERIFY(m_view->findChild<QLabel*>(u"labelDeviceLeft"_s)->isVisible());
        QVERIFY(savePseudoScreenshot(m_view.get(), u"assign-user-device-left"_s));
    }
};

QTEST_MAIN(tst_OVAssignUserToDeviceViewController)
#include "tst_OVAssignUserToDeviceViewController.moc"
