// The device list and the device detail on the real widgets, with emulated devices in process and a
// real ovcloud: navigation, rows, the maintenance flows across the device's restart, sign-out on
// refused credentials, the export of selected sessions as bags. Saves screenshots of each state (light and
// dark desktop themes).
#include "DeviceRig.h"
#include "MessageBoxViewController.h"
#include "OVBag.h"
#include "OVCloudServer.h"
#include "OVCredentialManager.h"
#include "OVDataLookup.h"
#include "OVDeviceManager.h"
#include "OVHelper.h"
#include "OVMaintenanceFlow.h"
#include "OVNoOrvaneViewController.h"
#include "OVNotificationCenter.h"
#include "OVOrvaneCell.h"
#include "OVOrvaneListViewController.h"
#include "OVOrvanesViewController.h"
#include "OVPreferencesManager.h"
#include "OVService.h"
#include "OVSessionExporter.h"
#include "OVSessionSyncInfo.h"
#include "OVTestCapture.h"
#include "OvFault.h"
#include "SUUpdater.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_OVDeviceViews : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_home;
    OVCloudServer m_server;
    OVCredentialManager m_credentials;
    SUUpdater m_updater;
    OVPreferencesManager m_preferences{OVLoginItem(QString(), QString()), &m_updater};
    OVService m_service{&m_credentials, &m_preferences};
    std::optional<OVUser> m_coach;
    QString m_password;
    std::unique_ptr<DeviceRig> m_rig;
    std::unique_ptr<QTemporaryDir> m_store;
    std::shared_ptr<OVDeviceManager> m_manager;
    std::unique_ptr<OVOrvaneListViewController> m_list;
    QStringList m_plugged;
    int m_serialCounter = 0;
    int m_logouts = 0;

    std::shared_ptr<OVDeviceInfo> plug(const QString& firmware = u"1.1.0"_s, int sessions = 2) {
        OvPlugOptions options;
        options.serial = u"OVRVIEW%1"_s.arg(++m_serialCounter, 9, 10, QLatin1Char('0'));
        options.sessions = sessions;
        options.pages = {4};
        options.users = {101};
        options.defaultUser = 101;
        options.firmware = firmware;
        if (!m_rig->hub().plug(options))
            return nullptr;
        m_plugged << options.serial;
        const QString serial = options.serial;
        if (!QTest::qWaitFor(
                [&] {
                    return m_list->findDeviceBySerial(serial) &&
                           m_list->findDeviceBySerial(serial)->isConnected();
                },
                10000))
            return nullptr;
        return m_list->findDeviceBySerial(serial);
    }

    OVOrvanesViewController* detail() { return m_list->detailController(); }
    QString detailText(const char* name) { return detail()->findChild<QLabel*>(QLatin1String(name))->text(); }
    QString message() { return detail()->messageBox()->labelMessage()->text(); }
    bool messageShown() { return detail()->messageBox()->isVisible(); }

    void screenshot(const QString& name) {
        QDir dir(QStringLiteral(OV_BINARY_DIR "/../screenshots"));
        dir.mkpath(u"."_s);
        QApplication::processEvents();
        m_list->grab().save(dir.filePath(name + u".png"_s));
    }

    /** Both themes: the views paint their own surfaces, so a dark desktop must not leak into them. */
    void screenshots(const QString& name) {
        screenshot(name);
        const QPalette light = QApplication::palette();
        QPalette dark;
        dark.setColor(QPalette::Window, QColor(45, 45, 48));
        dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
        dark.setColor(QPalette::Base, QColor(30, 30, 30));
        dark.setColor(QPalette::Text, QColor(230, 230, 230));
        dark.setColor(QPalette::Button, QColor(60, 60, 64));
        dark.setColor(QPalette::ButtonText, QColor(230, 230, 230));
        QApplication::setPalette(dark);
        screenshot(name + u"-dark"_s);
        QApplication::setPalette(light);
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_home.isValid());
        qputenv("HOME", QFile::encodeName(m_home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.filePath(u"config"_s)));
        QString error;
        QVERIFY2(m_server.start(&error), qPrintable(error));
        qputenv("OV_SERVER_URL", m_server.apiUrl().toUtf8());
        qputenv("OV_NETWORK_TIME_URL", m_server.rootUrl().toUtf8());
        OVHelper::setResourcesDirectory(QStringLiteral(OV_SOURCE_DIR "/resources/firmware"));
        OVDataLookup::sharedInstance().setService(&m_service);
        const QJsonObject demo = OVCloudServer::demoAccount();
        m_password = demo.value(QLatin1String("password")).toString();
        std::atomic<bool> answered{false};
        m_service.authenticate(demo.value(QLatin1String("username")).toString(), m_password,
                               [&](std::optional<OVUser> user, std::optional<OVError>) {
                                   m_coach = user;
                                   answered = true;
                               });
        QVERIFY(QTest::qWaitFor([&] { return answered.load(); }, 30000));
        QVERIFY(m_coach);
        m_rig = std::make_unique<DeviceRig>(false);
    }

    void cleanupTestCase() { m_rig.reset(); }

    void init() {
        m_store = std::make_unique<QTemporaryDir>();
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_store->path()));
        // Only what the views show is under test: no uploads to wait for.
        m_preferences.setAutoStore(true);
        m_preferences.setAutoSync(false);
        m_credentials.saveCredential(*m_coach, m_password);
        m_manager =
            OVDeviceManager::create(&m_service, &m_credentials, &m_preferences, &DeviceRig::manager());
        m_list = std::make_unique<OVOrvaneListViewController>(m_manager.get(), &m_credentials);
        m_list->setLogoutHandler([this] { ++m_logouts; });
        m_list->resize(560, 520);
        m_list->show();
        m_manager->updateDeviceList();
        m_list->initializeView();
    }

    void cleanup() {
        for (const QString& serial : std::as_const(m_plugged))
            m_rig->hub().unplug(serial);
        m_plugged.clear();
        QVERIFY(QTest::qWaitFor([] { return DeviceRig::manager().cdcOrvanes().isEmpty(); }, 10000));
        m_manager->cancelAll();
        QVERIFY(QTest::qWaitFor([&] { return !m_manager->isStoringSessions(); }, 20000));
        m_list.reset();
        m_manager.reset();
        QTest::qWait(50);
    }

    // First: after the other cases (their devices and uploads) the export's answer was seen to go
    // missing under load; see the reliability notes.
    void exportWritesVerifiableBagsOfTheSelectedSessions_data() {
        QTest::addColumn<bool>("writable");
        QTest::addColumn<int>("bags");
        QTest::newRow("two of three into a folder") << true << 2;
        QTest::newRow("into a file, not a folder") << false << 0;
    }
    void exportWritesVerifiableBagsOfTheSelectedSessions() {
        QFETCH(bool, writable);
        QFETCH(int, bags);
        const auto device = plug(u"1.1.0"_s, 3);
        QVERIFY(device);
        QTRY_VERIFY(m_list->isCurrentlyShowingDetail());
        // Uploads refresh the session table, which drops its selection: select once they are over.
        QTRY_VERIFY(!m_manager->isStoringSessions() && !m_manager->isSynching());
        auto* exportButton = detail()->findChild<QPushButton*>(u"buttonExport"_s);
        auto* table = detail()->findChild<QListWidget*>(u"tableViewSessions"_s);
        QVERIFY(!exportButton->isEnabled());
        table->item(0)->setSelected(true);
        table->item(2)->setSelected(true);
        QVERIFY(exportButton->isEnabled());
        if (writable)
            screenshots(u"device-detail-export"_s);
        const QString out = m_store->filePath(u"export"_s);
        if (!writable) {
            QFile blocker(out);
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        }
        detail()->setFolderChooser([&] { return out; });
        exportButton->click();
        QMessageBox* box = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((box = detail()->window()->findChild<QMessageBox*>()), 30000);
        QVERIFY(box->informativeText().contains(out));
        QCOMPARE(box->text(), writable ? u"Export Finished"_s : u"Export Failed"_s);
        const QStringList written = QDir(out).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(written.size(), bags);
        for (const auto& session : {device->sessions().at(0), device->sessions().at(2)}) {
            if (!writable)
                break;
            const QString bag = QDir(out).filePath(OVSessionExporter::bagName(*session));
            QVERIFY2(OVBag::isBag(bag), qPrintable(bag));
            QCOMPARE(OVBag::verify(bag), QStringList());
        }
        QCOMPARE(QFileInfo::exists(QDir(out).filePath(OVSessionExporter::kIndexFileName)), writable);
        box->close();
        // The export no longer holds the button: it follows the selection again.
        QCOMPARE(exportButton->isEnabled(), !table->selectedItems().isEmpty());
    }

    void oneDeviceOpensItsDetailTwoShowTheList() {
        QVERIFY(m_list->isShowingList());
        auto* sync = m_list->findChild<QPushButton*>(u"buttonCancelSync"_s);
        QVERIFY(!sync->isEnabled());
        QCOMPARE(sync->text(), u"SYNC"_s);
        const auto first = plug();
        QVERIFY(first);
        QTRY_VERIFY(m_list->isCurrentlyShowingDetail());
        QCOMPARE(detailText("textFieldSerialNumber"), first->serial());
        QCOMPARE(detailText("labelConnected"), u"(Connected)"_s);
        QTRY_COMPARE(detailText("textFieldBattery"), u"87%"_s);
        QTRY_VERIFY(!m_manager->isStoringSessionsForDevice(first));
        QTRY_COMPARE(detail()->findChild<QLabel*>(u"labelSessionCounts"_s)->text(), u"0/2"_s);
        QTRY_COMPARE(detail()->sessionCell(0)->syncStatus->text(), u"Ready to Sync"_s);
        screenshots(u"device-detail"_s);

        // A second device leaves the open detail alone; back in the list, both are listed.
        QVERIFY(plug());
        QVERIFY(m_list->isCurrentlyShowingDetail());
        m_list->onBackClick();
        m_list->initializeView();
        QVERIFY(m_list->isShowingList());
        QCOMPARE(m_list->devices().size(), 2);
        QVERIFY(m_list->devices().at(0)->serial() < m_list->devices().at(1)->serial());
        QVERIFY(sync->isEnabled());
        screenshots(u"device-list"_s);
    }

    void rowsShowBatteryCountAndRecovery() {
        const auto charged = plug();
        const auto charging = plug();
        const auto recovering = plug();
        QVERIFY(charged && charging && recovering);
        QTRY_VERIFY(!m_manager->isStoringSessions());
        charged->setBatteryLevel(100);
        charging->setBatteryLevel(99);
        recovering->setBatteryLevel(-1);
        charged->modifySessions([](OVSessionList& sessions) {
            for (const auto& s : sessions)
                s->setSyncStatus(OVSessionSyncStatusSynced);
        });
        charging->modifySessions([](OVSessionList& sessions) { sessions.first()->setSyncStatus(4); });
        m_list->showList();
        recovering->setSessions({});
        recovering->setIsConnected(false);
        recovering->setIsInRecovery(true);
        m_list->reloadTable();
        const struct {
            QString battery, count, connection;
            OVOrvaneCellState state;
        } rows[] = {{u"Charged"_s, u"2/2"_s, u"Connected"_s, OVOrvaneCellState::Complete},
                    {u"Charging"_s, u"1/2"_s, u"Connected"_s, OVOrvaneCellState::NotSynching},
                    {u"N/A"_s, u"0/0"_s, u"Recovering"_s, OVOrvaneCellState::NoSessions}};
        for (int row = 0; row < 3; ++row) {
            OVOrvaneCell* cell = m_list->cellForRow(row);
            QCOMPARE(cell->battery->text(), rows[row].battery);
            QCOMPARE(cell->isConnected->text(), rows[row].connection);
            QCOMPARE(cell->state(), rows[row].state);
            QCOMPARE(cell->identify->isEnabled(), row < 2);
            if (rows[row].state != OVOrvaneCellState::NoSessions)
                QCOMPARE(cell->syncInfoCount->text(), rows[row].count);
        }
        m_list->reloadRecoveryPercentageForRow(2, 0.42);
        QCOMPARE(m_list->cellForRow(2)->isConnected->text(), u"Recovering 42%"_s);
        screenshots(u"device-list-states"_s);
        m_list->onRowClicked(2);
        QVERIFY(m_list->isShowingList());
        m_list->onRowClicked(0);
        QVERIFY(m_list->isCurrentlyShowingDetail());
    }

    void sessionStatusesInTheDetail() {
        const auto device = plug(u"1.1.0"_s, 6);
        QVERIFY(device);
        QTRY_VERIFY(m_list->isCurrentlyShowingDetail());
        QTRY_VERIFY(!m_manager->isStoringSessions());
        const int statuses[] = {4, 3, 5, 7, 8, 11};
        device->modifySessions([&](OVSessionList& sessions) {
            for (int i = 0; i < sessions.size(); ++i) {
                sessions[i]->setSyncStatus(statuses[i]);
                sessions[i]->setPercentage(45);
                sessions[i]->setCrcCorruption(i == 3);
                sessions[i]->setSyncErrorInformation(u"Server unreachable"_s);
            }
        });
        detail()->reloadSessionTableView();
        const QStringList texts{u"Synced"_s,    u"Syncing \t\t45%"_s,     u"Failed Syncing"_s,
                                u"Corrupted"_s, u"Storing Locally 45%"_s, u"CRC Checking 45%"_s};
        for (int row = 0; row < texts.size(); ++row)
            QCOMPARE(detail()->sessionCell(row)->syncStatus->text(), texts.at(row));
        QCOMPARE(detail()->sessionCell(2)->syncError->toolTip(), u"Server unreachable"_s);
        screenshots(u"device-detail-sessions"_s);
    }

    void firmwareUpdateFailingHalfWayEndsWithARecovery() {
        const auto log = OVLogCapture::install();
        const auto device = plug(u"1.0.9"_s, 0);
        QVERIFY(device);
        QTRY_VERIFY(m_list->isCurrentlyShowingDetail());
        // The packaged 1.1.0 is newer: the detail offers it by itself.
        QTRY_VERIFY(messageShown());
        QVERIFY(
            message().startsWith(u"There is a new firmware version available. Would you like to update to "
                                 u"firmware version 1.1.0?"_s));
        screenshots(u"maintenance-offer"_s);
        QVERIFY(m_rig->hub().addFault(device->serial(), {OvFault::Kind::FailFirmware, 50, 1, std::nullopt}));
        detail()->messageBox()->onOkClick();
        QVERIFY(message().startsWith(u"Please wait while your device firmware is being updated."_s));
        QVERIFY(detail()->haveToWaitToReconnect());
        screenshots(u"maintenance-updating"_s);
        // The write fails half way; the device restarts into its recovery mode, where the detail
        // finds it and writes the firmware again; the device comes back at the new version and the
        // detail stayed open all along.
        QTRY_VERIFY_WITH_TIMEOUT(
            log->has(u"No device %1 found to send recover command"_s.arg(device->serial())), 60000);
        QVERIFY(m_rig->hub().recovery(device->serial()));
        QTRY_COMPARE_WITH_TIMEOUT(message(), u"Updating the Orvane Device completed."_s, 60000);
        QVERIFY(m_list->isCurrentlyShowingDetail());
        QCOMPARE(detail()->deviceInfo()->serial(), device->serial());
        QTRY_COMPARE(detailText("textFieldFirmwareRevision"), u"1.1.0"_s);
        QVERIFY(!detail()->haveToWaitToReconnect());
        screenshots(u"maintenance-updated"_s);
        detail()->messageBox()->onOkClick();
        QVERIFY(!messageShown());
        OVLogCapture::uninstall();
    }

    void restoreAndErase_data() {
        QTest::addColumn<bool>("restore");
        QTest::newRow("restore") << true;
        QTest::newRow("erase") << false;
    }
    void restoreAndErase() {
        QFETCH(bool, restore);
        const auto device = plug();
        QVERIFY(device);
        QTRY_VERIFY(m_list->isCurrentlyShowingDetail());
        QTRY_VERIFY(!m_manager->isStoringSessions());
        restore ? detail()->onRestoreClick() : detail()->onEraseClick();
        QCOMPARE(message(),
                 restore ? u"Are you sure you wish to restore the Orvane device to its original state? "
                           u"You will lose all your data."_s
                         : u"Are you sure you wish to erase all data on the Orvane device?"_s);
        screenshots(restore ? u"maintenance-restore-confirm"_s : u"maintenance-erase-confirm"_s);
        detail()->messageBox()->onOkClick();
        const QString done =
            restore ? u"Restoring the Vizavoz Device to its original state completed. Please do a "
                      u"\"Forget this Device\" on your iPhone or iPad."_s
                    : u"Erasing the data on the Orvane device completed."_s;
        QTRY_VERIFY_WITH_TIMEOUT(message() == done, 30000);
        QVERIFY(m_list->isCurrentlyShowingDetail());
        screenshots(restore ? u"maintenance-restored"_s : u"maintenance-erased"_s);
        detail()->messageBox()->onOkClick();
        QVERIFY(!messageShown());
        QTRY_COMPARE(m_rig->hub().sessions(device->serial())->size(), 0);
    }

    void unauthorizedUploadSignsOut() {
        auto session = std::make_shared<OVSession>();
        session->setSyncStatus(OVSessionSyncStatusSyncFailed);
        session->setSyncErrorCode(3);
        OVNotificationCenter::defaultCenter().post(OVNotificationName::OnSessionSyncStatusChanged, session);
        session->setSyncErrorCode(2);
        OVNotificationCenter::defaultCenter().post(OVNotificationName::OnSessionSyncStatusChanged, session);
        QTRY_COMPARE(m_logouts, 1);
    }

    void placeholderWhenSignedOut() {
        m_credentials.deleteCredential();
        m_list->updateDeviceList();
        QCOMPARE(m_list->noOrvaneController()->labelInformation()->text(), u"Please login!"_s);
        screenshots(u"device-list-signed-out"_s);
    }
};

QTEST_MAIN(tst_OVDeviceViews)
#include "tst_OVDeviceViews.moc"
