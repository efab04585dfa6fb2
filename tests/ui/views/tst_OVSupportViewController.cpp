// The support view on its real widgets, over the registry with emulated devices and the real ovcloud:
// the support request shows what it sends, hands exactly that to the mail command and never loses the
// zip; deleting the local sessions refuses while a device is plugged in and otherwise empties the store;
// the diagnosis lists each check, with the fix of a failing one, without blocking the window.
#include "OVConfiguration.h"
#include "OVHelper.h"
#include "OVLogger.h"
#include "OVSessionFileRepository.h"
#include "OVSupportMailer.h"
#include "OVSupportViewController.h"
#include "PseudoLocale.h"
#include "ViewRig.h"

#include <QCheckBox>
#include <QDir>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

using namespace Qt::StringLiterals;

class tst_OVSupportViewController : public QObject {
    Q_OBJECT

    static constexpr int kStaysOpen = -2; // a mail command exit code: it has not ended

    ViewRig m_rig;
    QTemporaryDir m_dir;
    std::unique_ptr<OVSupportViewController> m_view;
    QStringList m_openedFolders;

    QString logsDir() const { return m_dir.filePath(u"Logs"_s); }
    QPushButton* button(const char* name) { return m_view->findChild<QPushButton*>(QLatin1String(name)); }
    QPlainTextEdit* issue() { return m_view->findChild<QPlainTextEdit*>(u"textFieldIssue"_s); }

    /**
     * A mail command recording its arguments, NUL-separated, in "args"; ends with exitCode, or stays
     * running (as a mail client whose compose window is left open) when exitCode is kStaysOpen.
     */
    QString mailCommand(int exitCode) {
        QFile script(m_dir.filePath(u"mail-%1.sh"_s.arg(exitCode)));
        const QString end = exitCode == kStaysOpen ? u"exec sleep 60"_s : u"exit %1"_s.arg(exitCode);
        const QString text =
            u"#!/bin/sh\nprintf '%s\\0' \"$@\" > \"%1\"\n%2\n"_s.arg(m_dir.filePath(u"args"_s), end);
        return script.open(QIODevice::WriteOnly) && script.write(text.toUtf8()) > 0 &&
                       script.setPermissions(script.permissions() | QFile::ExeOwner)
                   ? script.fileName()
                   : QString();
    }

    /** Clicks the alert's button and answers the alert's text; empty when no alert was shown. */
    static QString answerAlert(QMessageBox::StandardButton choice) {
        QMessageBox* box = ViewRig::visibleMessageBox();
        if (!box)
            return QString();
        // Every alert is a sheet of the window: an application-modal one shows up in the text.
        const QString modality = box->windowModality() == Qt::WindowModal ? QString() : u"(not a sheet) "_s;
        const QString text = modality + box->text() + u'|' + box->informativeText();
        box->button(choice)->click();
        QTest::qWait(10);
        return text;
    }

    void makeView() {
        m_view = std::make_unique<OVSupportViewController>(&m_rig.preferences, m_rig.manager.get());
        m_view->setLogsDirectory(logsDir());
        m_view->setCredentialManager(&m_rig.credentials);
        m_view->setFolderOpener([this](const QString& folder) { m_openedFolders << folder; });
        m_view->show();
        m_view->initializeView();
    }

private Q_SLOTS:
    void initTestCase() {
        QString error;
        QVERIFY2(m_rig.start(&error), qPrintable(error));
        OVLogger::sharedInstance().turnLogOn();
        OVLogger::sharedInstance().configure(logsDir());
        makeView();
        // Something to send: a support request without logs has nothing to attach.
        OVLog("Support view test for %@", m_rig.coach.username);
        OVLogger::sharedInstance().flush();
    }
    void cleanupTestCase() {
        m_view.reset();
        QVERIFY(m_rig.stop());
    }

    void cleanup() {
        // A failed check leaves its alert open; the next case starts without it.
        while (QMessageBox* box = ViewRig::visibleMessageBox())
            box->close();
    }

    void allowLogSwitchWritesThePreference() {
        auto* check = m_view->findChild<QCheckBox*>(u"checkAllowLog"_s);
        for (const bool before : {m_rig.preferences.getAllowLog(), !m_rig.preferences.getAllowLog()}) {
            QCOMPARE(check->isChecked(), before);
            QTest::mouseClick(check, Qt::LeftButton);
            QCOMPARE(m_rig.preferences.getAllowLog(), !before);
        }
    }

    void supportRequestSendsTheListedZip_data() {
        QTest::addColumn<int>("mailExit");
        QTest::addColumn<QString>("issueText");
        QTest::newRow("mail client takes it") << 0 << u"Sync \"stuck\" at 50%"_s;
        QTest::newRow("empty issue still sends the logs") << 0 << QString();
        QTest::newRow("mail client left open") << kStaysOpen << u"Sync stuck"_s;
        QTest::newRow("no mail client: zip kept and shown") << 3 << u"Battery wrong"_s;
        QTest::newRow("mail command missing: zip kept and shown") << -1 << u"Battery wrong"_s;
    }
    void supportRequestSendsTheListedZip() {
        QFETCH(int, mailExit);
        QFETCH(QString, issueText);
        const bool taken = mailExit == 0 || mailExit == kStaysOpen;
        m_openedFolders.clear();
        QFile::remove(m_dir.filePath(u"args"_s));
        m_view->mailer().setProgram(mailExit == -1 ? m_dir.filePath(u"absent"_s) : mailCommand(mailExit));
        issue()->setPlainText(issueText);

        QTest::mouseClick(button("buttonSend"), Qt::LeftButton);
        const QString zip = m_view->pendingArchive();
        QVERIFY(QFile::exists(zip));
        auto* list = m_view->findChild<QListWidget*>(u"listArchive"_s);
        QVERIFY(list->isVisible());
        const QStringList logs = QDir(logsDir()).entryList({u"log-*.txt"_s}, QDir::Files, QDir::Name);
        QVERIFY(!logs.isEmpty());
        QCOMPARE(list->count(), logs.size());
        for (const QString& name : logs)
            QCOMPARE(list->findItems(name + u" ("_s, Qt::MatchStartsWith).size(), 1);
        QTest::mouseClick(button("buttonOpenFolder"), Qt::LeftButton);
        QCOMPARE(m_openedFolders, QStringList{logsDir()});
        // The screenshots show the main window's content area at its smallest (from here on).
        if (qstrcmp(QTest::currentDataTag(), "mail client takes it") == 0) {
            m_view->resize(560, 520);
            QVERIFY(saveScreenshots(m_view.get(), u"support"_s));
        }

        QTest::mouseClick(button("buttonConfirmSend"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(ViewRig::visibleMessageBox(), 2 * OVSupportMailer::kHandOverMs);
        QFile args(m_dir.filePath(u"args"_s));
        QCOMPARE(args.open(QIODevice::ReadOnly), mailExit != -1);
        const QByteArray expected = QByteArrayLiteral("--subject\0OvService ") +
                                    OVHelper::getApplicationVersion().toUtf8() +
                                    QByteArrayLiteral(" PROD Support \n\r\0--body\0") + issueText.toUtf8() +
                                    QByteArrayLiteral("\0--attach\0") + zip.toUtf8() + '\0' +
                                    OVConfiguration::supportAddress().toUtf8() + '\0';
        QCOMPARE(args.readAll(), mailExit != -1 ? expected : QByteArray());
        const QString shown = answerAlert(QMessageBox::Ok);
        QCOMPARE(QFile::exists(zip), !taken);
        QVERIFY(shown.startsWith(taken ? u"Support Request Sent|"_s : u"Error|"_s));
        QCOMPARE(issue()->toPlainText(), taken ? QString() : issueText);
        QCOMPARE(m_openedFolders.size(), taken ? 1 : 2);
        QVERIFY(!list->isVisible());
        QFile::remove(zip);
    }

    void deleteAllSessionsRefusesWhileAnOrvaneIsPlugged() {
        const auto device = m_rig.plug(2, 101);
        QVERIFY(device);
        QTRY_COMPARE_WITH_TIMEOUT(device->sessions().size(), 2, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(!m_rig.manager->isStoringSessions() && !m_rig.manager->isSynching(), 30000);
        QTest::mouseClick(button("buttonDelete"), Qt::LeftButton);
        QCOMPARE(answerAlert(QMessageBox::Ok),
                 QStringLiteral(
                     "Orvanes connected.|In order to delete local session, all Orvanes must be unplugged."));
        QCOMPARE(device->sessions().size(), 2);

        QVERIFY(m_rig.unplug(device->serial()));
        QTest::mouseClick(button("buttonDelete"), Qt::LeftButton);
        QCOMPARE(answerAlert(QMessageBox::Cancel),
                 u"Delete the ALL local sessions?|Deleted sessions cannot be restored."_s);
        OVSessionFileRepository repository;
        OVError error;
        QVERIFY(!repository.getAllSessions(&error).value_or(OVSessionList()).isEmpty());

        QTest::mouseClick(button("buttonDelete"), Qt::LeftButton);
        answerAlert(QMessageBox::Ok);
        QCOMPARE(device->sessions().size(), 0);
        QVERIFY(repository.getAllSessions(&error).value_or(OVSessionList{nullptr}).isEmpty());
    }

    // Which checks fail with which fix is the doctor's; here: the view runs it without blocking and lists
    // each check, a failing one with its fix.
    void diagnosisListsEachCheckWithItsFix() {
        const QByteArray serverUrl = qgetenv("OV_SERVER_URL");
        // Port 1 on the loopback: nothing listens there, the connection is refused at once.
        qputenv("OV_SERVER_URL", "http://127.0.0.1:1/api/");
        auto* list = m_view->findChild<QListWidget*>(u"listDiagnosis"_s);
        auto* spinner = m_view->findChild<QProgressBar*>(u"progressDiagnose"_s);
        QTest::mouseClick(button("buttonDiagnose"), Qt::LeftButton);
        QVERIFY(spinner->isVisible());
        QVERIFY(!button("buttonDiagnose")->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!spinner->isVisible(), 60000);
        qputenv("OV_SERVER_URL", serverUrl);
        QVERIFY(list->isVisible() && button("buttonDiagnose")->isEnabled());
        const auto find = [list](const QString& pattern) {
            return list->findItems(pattern, Qt::MatchRegularExpression).size();
        };
        QCOMPARE(find(u"^(OK|FAILED)  Server: "_s), 1);
        QCOMPARE(find(u"^FAILED  Server: .*\nFix: Check the network connection"_s), 1);
        QVERIFY(find(u"^OK  [^\n]*$"_s) > 0);
        QVERIFY(saveScreenshots(m_view.get(), u"support-diagnosis"_s));
    }

    // Last: the view is made again in the pseudo locale, with the files to send and a diagnosis shown.
    void textsTranslatedAndWholeInThePseudoLocale() {
        PseudoLocale pseudo;
        QVERIFY(pseudo.isInstalled());
        makeView();
        m_view->resize(560, 520);
        QTest::mouseClick(button("buttonSend"), Qt::LeftButton);
        QVERIFY(m_view->findChild<QListWidget*>(u"listArchive"_s)->isVisible());
        QVERIFY(savePseudoScreenshot(m_view.get(), u"support"_s));
        QTest::mouseClick(button("buttonCancelSend"), Qt::LeftButton);
        QFile::remove(m_view->pendingArchive());
        const QByteArray serverUrl = qgetenv("OV_SERVER_URL");
        qputenv("OV_SERVER_URL", "http://127.0.0.1:1/api/");
        QTest::mouseClick(button("buttonDiagnose"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(button("buttonDiagnose")->isEnabled(), 60000);
        qputenv("OV_SERVER_URL", serverUrl);
        QVERIFY(savePseudoScreenshot(m_view.get(), u"support-diagnosis"_s));
    }
};

QTEST_MAIN(tst_OVSupportViewController)
#include "tst_OVSupportViewController.moc"
