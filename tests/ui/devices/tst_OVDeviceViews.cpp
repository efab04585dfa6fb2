// The device list and the device detail on the real widgets, with emulated devices in process and a
// real ovcloud: navigation, rows, the maintenance flows across the device's restart, sign-out on refused
// credentials, the export of selected sessions as bags. Saves screenshots of each state (both themes).
#include "MessageBoxViewController.h"
#include "OVHelper.h"
#include "OVNoOrvaneViewController.h"
#include "OVNotificationCenter.h"
#include "OVOrvaneCell.h"
#include "OVOrvaneListViewController.h"
#include "OVOrvanesViewController.h"
#include "OVSessionExporter.h"
#include "OVSessionSyncInfo.h"
#include "OVTestCapture.h"
#include "PseudoLocale.h"
#include "SimFault.h"
#include "ViewRig.h"

#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>

#include <optional>

using namespace Qt::StringLiterals;

class tst_OVDeviceViews : public QObject {
    Q_OBJECT

private:
    ViewRig m_rig;
    std::unique_ptr<QTemporaryDir> m_store;
    std::unique_ptr<OVOrvaneListViewController> m_list;
    int m_logouts = 0;

    /** Plugs a device with two users' worth of sessions and waits until the list knows it. */
    std::shared_ptr<OVDeviceInfo> plug(const QString& firmware = u"1.1.0"_s, int sessions = 2,
                                       quint64 defaultUser = 101) {
        const auto device = m_rig.plug(sessions, defaultUser, firmware);
        const auto listed = [&] { return device ? m_list->findDeviceBySerial(device->serial()) : nullptr; };
        return QTest::qWaitFor([&] { return listed() != nullptr; }, 10000) ? listed() : nullptr;
    }

    OVOrvanesViewController* detail() { return m_list->detailController(); }
    QString detailText(const char* name) { return detail()->findChild<QLabel*>(QLatin1String(name))->text(); }
    QString message() { return detail()->messageBox()->labelMessage()->text(); }
    bool messageShown() { return detail()->messageBox()->isVisible(); }
    void screenshots(const QString& name) { QVERIFY(saveScreenshots(m_list.get(), name)); }
    /** Opens the detail of the listed device with serial, as a click on its row does. */
    void open(const QString& serial) {
        const auto rows = m_list->devices();
        for (int row = 0; row < rows.size(); ++row) {
            if (rows.at(row)->serial() == serial)
                m_list->onRowClicked(row);
        }
        QVERIFY(m_list->isCurrentlyShowingDetail());
        QCOMPARE(detail()->deviceInfo()->serial(), serial);
    }

    void makeList() {
        m_list = std::make_unique<OVOrvaneListViewController>(m_rig.manager.get(), &m_rig.credentials);
        m_list->setLogoutHandler([this] { ++m_logouts; });
        m_list->resize(560, 520);
        m_list->show();
        m_rig.manager->updateDeviceList();
        m_list->initializeView();
    }

private Q_SLOTS:
    void initTestCase() {
        QString error;
        QVERIFY2(m_rig.start(&error), qPrintable(error));
        OVHelper::setResourcesDirectory(QStringLiteral(OV_SOURCE_DIR "/resources/firmware"));
    }

    void cleanupTestCase() { QVERIFY(m_rig.stop()); }

    void init() {
        // Each case counts devices and sessions from zero: a new store under a new registry.
        m_store = std::make_unique<QTemporaryDir>();
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_store->path()));
        // Only what the views show is under test: no uploads to wait for.
        m_rig.preferences.setAutoStore(true);
        m_rig.preferences.setAutoSync(false);
        m_rig.credentials.saveCredential(m_rig.coach, m_rig.password);
        m_rig.manager.reset();
        m_rig.manager = OVDeviceManager::create(&m_rig.service, &m_rig.credentials, &m_rig.preferences,
                                                &DeviceRig::manager());
        makeList();
    }

    void cleanup() {
        QVERIFY(m_rig.settle());
        m_list.reset();
        QTest::qWait(50);
    }

    void exportWritesBagsOfTheSelectedSessions_data() {
        QTest::addColumn<bool>("writable");
        QTest::newRow("two of three into a folder") << true;
        QTest::newRow("into a file, not a folder") << false;
    }
    void exportWritesBagsOfTheSelectedSessions() {
        QFETCH(bool, writable);
        const auto device = plug(u"1.1.0"_s, 3);
        QVERIFY(device);
        QTRY_VERIFY(m_list->isCurrentlyShowingDetail());
        QTRY_VERIFY(!m_rig.manager->isStoringSessions());
        auto* exportButton = detail()->findChild<QPushButton*>(u"buttonExport"_s);
        auto* table = detail()->findChild<QListWidget*>(u"tableViewSessions"_s);
        QVERIFY(!exportButton->isEnabled());
        table->item(0)->setSelected(true);
        table->item(2)->setSelected(true);
        QVERIFY(exportButton->isEnabled());
        if (writable)
            screenshots(u"device-detail-export"_s);
        const QString out = m_store->filePath(u"export"_s);
        QFile blocker(out);
        QVERIFY(writable || blocker.open(QIODevice::WriteOnly));
        detail()->setFolderChooser([&] { return out; });
        exportButton->click();
        QMessageBox* box = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((box = detail()->window()->findChild<QMessageBox*>()), 30000);
        QVERIFY(box->informativeText().contains(out));
        QCOMPARE(box->text(), writable ? u"Export Finished"_s : u"Export Failed"_s);
        // What a bag holds is the exporter's; here: exactly the selected sessions, or nothing.
        QStringList bags{OVSessionExporter::bagName(*device->sessions().at(0)),
                         OVSessionExporter::bagName(*device->sessions().at(2))};
        bags.sort();
        QCOMPARE(QDir(out).entryList(QDir::Dirs | QDir::NoDotAndDotDot), writable ? bags : QStringList());
        box->close();
        // The export no longer holds the button: it follows the selection again.
        QCOMPARE(exportButton->isEnabled(), !table->selectedItems().isEmpty());
    }

    void oneDeviceOpensItsDetailMoreShowTheListWithTheirState() {
        QVERIFY(m_list->isShowingList());
        auto* sync = m_list->findChild<QPushButton*>(u"buttonCancelSync"_s);
        QVERIFY(!sync->isEnabled());
        QCOMPARE(sync->text(), u"SYNC"_s);
        auto* noDevice = m_list->findChild<QLabel*>(u"labelNoDevice"_s);
        QVERIFY(noDevice && noDevice->isVisible());
        QVERIFY(!m_list->findChild<QListWidget*>(u"tableViewDevices"_s)->isVisible());
        screenshots(u"device-list-empty"_s);
        const auto charged = plug();
        QVERIFY(charged);
        QVERIFY(!noDevice->isVisible());
        QTRY_VERIFY(m_list->isCurrentlyShowingDetail());
        QCOMPARE(detailText("textFieldSerialNumber"), charged->serial());
        QCOMPARE(detailText("labelConnected"), u"(Connected)"_s);
        QTRY_COMPARE(detailText("textFieldBattery"), u"87%"_s);
        QTRY_VERIFY(!m_rig.manager->isStoringSessionsForDevice(charged));
        QTRY_COMPARE(detail()->findChild<QLabel*>(u"labelSessionCounts"_s)->text(), u"0/2"_s);
        QTRY_COMPARE(detail()->sessionCell(0)->syncStatus->text(), u"Ready to Sync"_s);
        screenshots(u"device-detail"_s);
        // What each status shows is the row model's; here: the rows show it, with progress and error.
        charged->modifySessions([&](OVSessionList& sessions) {
            for (const auto& [session, status] : {std::pair{sessions[0], 5}, {sessions[1], 8}}) {
                session->setSyncStatus(status);
                session->setPercentage(45);
                session->setSyncErrorInformation(u"Server unreachable"_s);
            }
        });
        detail()->reloadSessionTableView();
        QCOMPARE((QStringList{detail()->sessionCell(0)->syncStatus->text(),
                              detail()->sessionCell(1)->syncStatus->text(),
                              detail()->sessionCell(0)->syncError->toolTip()}),
                 (QStringList{u"Failed Syncing"_s, u"Storing Locally 45%"_s, u"Server unreachable"_s}));
        screenshots(u"device-detail-sessions"_s);

        // More devices leave the open detail alone; back in the list, all are listed in serial order.
        const auto charging = plug();
        const auto recovering = plug();
        QVERIFY(charging && recovering);
        QVERIFY(m_list->isCurrentlyShowingDetail());
        m_list->onBackClick();
        m_list->initializeView();
        QVERIFY(m_list->isShowingList());
        QTRY_COMPARE(m_list->devices().size(), 3);
        QCOMPARE((QStringList{m_list->devices().at(0)->serial(), m_list->devices().at(2)->serial()}),
                 (QStringList{charged->serial(), recovering->serial()}));
        QVERIFY(sync->isEnabled());
        QTRY_VERIFY(!m_rig.manager->isStoringSessions());
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
        // What each row shows is the row model's (tst_OVDeviceList); here: the rows show it.
        const QStringList rows[] = {{u"Charged"_s, u"2/2"_s}, {u"Charging"_s, u"1/2"_s}, {u"N/A"_s}};
        for (int row = 0; row < 3; ++row) {
            OVOrvaneCell* cell = m_list->cellForRow(row);
            QStringList shown{cell->battery->text()};
            if (cell->state() != OVOrvaneCellState::NoSessions)
                shown << cell->syncInfoCount->text();
            QCOMPARE(shown, rows[row]);
        }
        QVERIFY(!m_list->cellForRow(2)->identify->isEnabled());
        m_list->reloadRecoveryPercentageForRow(2, 0.42);
        QCOMPARE(m_list->cellForRow(2)->isConnected->text(), u"Recovering 42%"_s);
        screenshots(u"device-list"_s);
        m_list->onRowClicked(2);
        QVERIFY(m_list->isShowingList());
        m_list->onRowClicked(0);
        QVERIFY(m_list->isCurrentlyShowingDetail());
    }

    // Each row is named after its operation; the update fails half way and the device is recovered.
    // "away": the user goes back to the list while it runs and looks at another device; the device's
    // detail shows how it ended when it is opened again.
    void maintenanceEndsWithItsOutcome_data() {
        QTest::addColumn<QString>("asked"); // how the confirmation or the offer starts
        QTest::addColumn<QString>("done");
        QTest::addColumn<bool>("away");
        QTest::addColumn<bool>("pseudo"); // the list made in the pseudo locale, its screenshots checked
        const QString erased = u"Erasing the data on the Orvane device completed."_s;
        const QString updated = u"Updating the Orvane Device completed."_s;
        // The packaged 1.1.0 is newer than the device's 1.0.9: the detail offers it by itself.
        const QString offer =
            u"There is a new firmware version available. Would you like to update to firmware version 1.1.0?"_s;
        const QString restored = u"Restoring the Vizavoz Device to its original state completed. Please do a "
                                 u"\"Forget this Device\" on your iPhone or iPad."_s;
        const QString eraseAsked = u"Are you sure you wish to erase all data"_s;
        QTest::newRow("restore") << u"Are you sure you wish to restore the Orvane device"_s << restored
                                 << false << false;
        QTest::newRow("erase") << eraseAsked << erased << false << false;
        QTest::newRow("erase, away") << eraseAsked << erased << true << false;
        QTest::newRow("erase, away, pseudo") << eraseAsked << erased << true << true;
        QTest::newRow("update") << offer << updated << false << false;
        QTest::newRow("update, away") << offer << updated << true << false;
        QTest::newRow("update, pseudo") << offer << updated << false << true;
    }
    void maintenanceEndsWithItsOutcome() {
        const QString operation = QString::fromLatin1(QTest::currentDataTag()).section(u',', 0, 0);
        QFETCH(QString, asked);
        QFETCH(QString, done);
        QFETCH(bool, away);
        QFETCH(bool, pseudo);
        std::optional<PseudoLocale> locale;
        if (pseudo) {
            QVERIFY(locale.emplace().isInstalled());
            m_list.reset();
            makeList();
        }
        // A text of the flow as shown: the English one, or the pseudo table's.
        const auto shows = [&](const QString& english) {
            return pseudo ? isPseudoText(message()) : message().startsWith(english);
        };
        const auto shot = [&](const QString& name) {
            QVERIFY(pseudo ? savePseudoScreenshot(m_list.get(), name) : saveScreenshots(m_list.get(), name));
        };
        const bool update = operation == u"update"_s;
        const auto log = OVLogCapture::install();
        const auto device = plug(update ? u"1.0.9"_s : u"1.1.0"_s, update ? 0 : 2);
        const auto other = away ? plug(u"1.1.0"_s, 0) : nullptr;
        QVERIFY(device && (other || !away));
        const QString serial = device->serial();
        QTRY_VERIFY(m_list->isCurrentlyShowingDetail());
        QCOMPARE(detail()->deviceInfo()->serial(), serial);
        QTRY_VERIFY(!m_rig.manager->isStoringSessions());
        if (!update)
            operation == u"restore"_s ? detail()->onRestoreClick() : detail()->onEraseClick();
        QTRY_VERIFY(messageShown());
        QVERIFY2(shows(asked), qPrintable(message()));
        if (!away || pseudo)
            shot(u"maintenance-%1-asked"_s.arg(operation));
        if (update)
            QVERIFY(m_rig.devices->hub().addFault(serial, SimFault::failFirmwareAt(50, 1)));
        detail()->messageBox()->onOkClick();
        QVERIFY(shows(u"Please wait"_s));
        QCOMPARE(detail()->haveToWaitToReconnect(), operation != u"erase"_s);
        if (update && !away)
            shot(u"maintenance-updating"_s);
        if (away) {
            m_list->onBackClick();
            open(other->serial());
            if (!update) { // the erase ends while another device is shown: not over that one
                QTRY_VERIFY_WITH_TIMEOUT(m_rig.devices->hub().sessions(serial)->isEmpty(), 30000);
                QTest::qWait(2000); // its completion report arrives
            }
            QVERIFY2(!messageShown(), qPrintable(message()));
            QVERIFY(detail()->findChild<QPushButton*>(u"buttonErase"_s)->isEnabled());
            m_list->onBackClick();
            if (update) { // opened again while it runs: the wait and the buttons held
                open(serial);
                QVERIFY(shows(u"Please wait"_s));
                QVERIFY(!detail()->findChild<QPushButton*>(u"buttonErase"_s)->isEnabled());
                m_list->onBackClick();
            }
        }
        if (update) {
            // The device restarts into its recovery mode, where the detail finds it and writes again.
            QTRY_VERIFY_WITH_TIMEOUT(log->has(u"No device %1 found to send recover command"_s.arg(serial)),
                                     60000);
            QVERIFY(m_rig.devices->hub().recovery(serial));
        }
        if (away) {
            const auto finished = [&] {
                const auto record = m_list->findDeviceBySerial(serial);
                return record && record->isConnected() &&
                       (update ? record->firmwareRevision() == u"1.1.0"_s
                               : m_rig.devices->hub().sessions(serial)->isEmpty());
            };
            QTRY_VERIFY_WITH_TIMEOUT(finished(), 60000);
            open(serial);
            // Opened again after its fields were cleared: the labels take their new texts' room.
            for (const char* name : {"textFieldSerialNumber", "textFieldBattery2"}) {
                const QLabel* field = detail()->findChild<QLabel*>(QLatin1String(name));
                QVERIFY2(field->width() >= field->sizeHint().width(), name);
            }
        }
        QTRY_COMPARE_WITH_TIMEOUT(message(), QCoreApplication::translate("OVMaintenanceFlow", done.toUtf8()),
                                  60000);
        OVLogCapture::uninstall();
        QVERIFY(m_list->isCurrentlyShowingDetail());
        QCOMPARE(detail()->deviceInfo()->serial(), serial);
        QVERIFY(!detail()->haveToWaitToReconnect());
        shot(away ? u"maintenance-outcome-later"_s : u"maintenance-%1-done"_s.arg(operation));
        detail()->messageBox()->onOkClick();
        QVERIFY(!messageShown());
        QVERIFY(detail()->findChild<QPushButton*>(u"buttonErase"_s)->isEnabled());
        if (update)
            QTRY_COMPARE(detailText("textFieldFirmwareRevision"), u"1.1.0"_s);
        else
            QTRY_COMPARE(m_rig.devices->hub().sessions(serial)->size(), 0);
    }

    void updateStillBeingWrittenWhenAnotherDevicePlugs() {
        const auto device = plug(u"1.0.9"_s, 0);
        QVERIFY(device);
        QTRY_VERIFY(m_list->isCurrentlyShowingDetail());
        QTRY_VERIFY(messageShown()); // the firmware offer
        // The device takes the image and never answers: the write is still going on.
        QVERIFY(m_rig.devices->hub().addFault(device->serial(),
                                              {SimFault::Kind::NoAnswer, 0, -1, OrvaneOp::Flash}));
        detail()->messageBox()->onOkClick();
        const QString wait = message();
        QVERIFY(wait.startsWith(u"Please wait while your device firmware is being updated."_s));
        QVERIFY(plug()); // the list refreshes and initialises the detail again
        QCOMPARE(detail()->deviceInfo()->serial(), device->serial());
        QCOMPARE(message(), wait);
        QVERIFY(!detail()->messageBox()->okButton()->isVisible());
        QVERIFY(!detail()->findChild<QPushButton*>(u"buttonErase"_s)->isEnabled());
        QVERIFY(detail()->haveToWaitToReconnect());
    }

    // A refresh of the session table (here the network coming back) keeps where the user is: the scroll,
    // the selection and Export.
    void sessionTableRefreshKeepsScrollAndSelection() {
        const auto device = plug(u"1.1.0"_s, 30);
        QVERIFY(device);
        QTRY_VERIFY(m_list->isCurrentlyShowingDetail());
        auto* table = detail()->findChild<QListWidget*>(u"tableViewSessions"_s);
        QTRY_COMPARE(table->count(), 30);
        QTRY_VERIFY(!m_rig.manager->isStoringSessions());
        table->item(3)->setSelected(true);
        table->item(25)->setSelected(true);
        table->scrollToBottom();
        const int scrolled = table->verticalScrollBar()->value();
        QVERIFY(scrolled > 0);
        OVNotificationCenter::defaultCenter().post(
            OVNotificationName::kNetworkReachabilityChangedNotification);
        QTest::qWait(200);
        QCOMPARE(table->count(), 30);
        QCOMPARE(table->verticalScrollBar()->value(), scrolled);
        QCOMPARE(table->selectedItems(), (QList<QListWidgetItem*>{table->item(3), table->item(25)}));
        QVERIFY(detail()->findChild<QPushButton*>(u"buttonExport"_s)->isEnabled());
    }

    // A device without a user and with an older firmware has two questions for the user: the firmware
    // offer and the assignment. They wait for the window, come one at a time, and go with the device.
    void promptsComeOneAtATimeToAVisibleWindow() {
        m_list->hide(); // the window is closed; the device list goes on
        const auto device = plug(u"1.0.9"_s, 0, 0xFFFFFFFFu);
        QVERIFY(device);
        QTRY_VERIFY(m_list->isCurrentlyShowingDetail());
        QTest::qWait(300);
        QVERIFY(!ViewRig::visibleMessageBox());
        QVERIFY(message().isEmpty());
        m_list->show();
        // Which of the two comes first depends on when the device's session list is read.
        const auto offerShown = [&] {
            return messageShown() && message().startsWith(u"There is a new firmware version available."_s);
        };
        const auto assignShown = [] { return ViewRig::visibleMessageBox() != nullptr; };
        QTRY_VERIFY(offerShown() || assignShown());
        QTest::qWait(300);
        QVERIFY(offerShown() != assignShown());
        if (offerShown()) {
            screenshots(u"prompt-offer-first"_s);
            detail()->messageBox()->onCancelClick();
            QTRY_VERIFY(assignShown());
        }
        QMessageBox* prompt = ViewRig::visibleMessageBox();
        QCOMPARE(prompt->text(), u"No user assigned on the Orvane"_s);
        QVERIFY(!prompt->windowTitle().isEmpty());
        QCOMPARE(prompt->windowModality(), Qt::WindowModal);
        QCOMPARE(prompt->parentWidget()->window(), m_list.get());
        QVERIFY(!offerShown());
        QVERIFY(m_rig.unplug(device->serial()));
        QTRY_VERIFY(!assignShown());
        QTest::qWait(300);
        QVERIFY(!offerShown() && !assignShown());
    }

    void onlyAnUnauthorizedUploadSignsOutToThePlaceholder() {
        // Failed upload with another error, failed storing with the same code, a connection closed
        // unanswered (Qt's code 2), failed upload refused.
        const QString service = OVError::serviceDomain();
        const QString network = u"QNetworkReply"_s;
        for (const auto& [status, code, domain] :
             {std::tuple{5, 3, service}, {7, 2, service}, {5, 2, network}, {5, 2, service}}) {
            auto session = std::make_shared<OVSession>();
            session->setSyncStatus(status);
            session->setSyncErrorCode(code);
            session->setSyncErrorDomain(domain);
            OVNotificationCenter::defaultCenter().post(OVNotificationName::OnSessionSyncStatusChanged,
                                                       session);
        }
        QTRY_COMPARE(m_logouts, 1);
        m_rig.credentials.deleteCredential();
        m_list->updateDeviceList();
        QCOMPARE(m_list->noOrvaneController()->labelInformation()->text(), u"Please login!"_s);
        screenshots(u"device-list-signed-out"_s);
    }

    // The list made again in the pseudo locale, through the states the cases above save in light and
    // dark: empty, a detail with its sessions, the assignment prompt, several devices, signed out (the
    // maintenance flows have pseudo rows of their own).
    void statesInThePseudoLocale() {
        PseudoLocale pseudo;
        QVERIFY(pseudo.isInstalled());
        m_list.reset();
        makeList();
        QVERIFY(savePseudoScreenshot(m_list.get(), u"device-list-empty"_s));
        const auto device = plug();
        QVERIFY(device);
        QTRY_VERIFY(m_list->isCurrentlyShowingDetail());
        QTRY_VERIFY(!m_rig.manager->isStoringSessionsForDevice(device));
        QVERIFY(savePseudoScreenshot(m_list.get(), u"device-detail"_s));
        device->modifySessions([](OVSessionList& sessions) {
            for (const auto& [session, status] : {std::pair{sessions[0], 5}, {sessions[1], 8}}) {
                session->setSyncStatus(status);
                session->setPercentage(45);
            }
        });
        detail()->reloadSessionTableView();
        QVERIFY(savePseudoScreenshot(m_list.get(), u"device-detail-sessions"_s));
        // A user name longer than its column ends in "…" and is whole in the tool tip.
        QLabel* user = detail()->sessionCell(0)->username;
        QCOMPARE(user->toolTip(), QString());
        user->setText(u"Bartholomew Maximilian Okafor-Lindqvist"_s);
        user->grab();
        QCOMPARE(user->toolTip(), user->text());

        const auto unassigned = plug(u"1.1.0"_s, 0, 0xFFFFFFFFu);
        QVERIFY(unassigned);
        m_list->onBackClick();
        open(unassigned->serial());
        QTRY_VERIFY_WITH_TIMEOUT(ViewRig::visibleMessageBox(), 15000);
        QVERIFY(savePseudoScreenshot(ViewRig::visibleMessageBox(), u"prompt-no-user"_s));
        QVERIFY(m_rig.unplug(unassigned->serial()));
        QTRY_VERIFY(!ViewRig::visibleMessageBox());

        m_list->onBackClick();
        m_list->initializeView();
        QTRY_COMPARE(m_list->devices().size(), 2); // the unplugged one listed as such
        QTRY_VERIFY(!m_rig.manager->isStoringSessions());
        m_list->reloadTable();
        QVERIFY(savePseudoScreenshot(m_list.get(), u"device-list"_s));
        m_rig.credentials.deleteCredential();
        m_list->updateDeviceList();
        QVERIFY(savePseudoScreenshot(m_list.get(), u"device-list-signed-out"_s));
    }
};

QTEST_MAIN(tst_OVDeviceViews)
#include "tst_OVDeviceViews.moc"
