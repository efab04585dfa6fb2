#include "OVSupportViewController.h"
#include "OVConfiguration.h"
#include "OVContentPalette.h"
#include "OVFileLogger.h"
#include "OVFileLoggerManager.h"
#include "OVHelper.h"
#include "OVLocalSessionDeleter.h"
#include "OVLogArchiveContents.h"
#include "OVLogger.h"
#include "OVPreferencesManagerProtocol.h"
#include "OVPromptQueue.h"
#include "OVService.h"
#include "OVSessionFileRepository.h"
#include "OVStorageCleaner.h"
#include "OVStyleManager.h"
#include "OVSupportMailer.h"
#include "OVWorkerThread.h"
#include "ui_OVSupportViewController.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QMessageBox>
#include <QUrl>

OVSupportViewController::OVSupportViewController(OVPreferencesManagerProtocol* preferences,
                                                 OVDeviceManagerProtocol* deviceManager, QWidget* parent)
    : OVBaseViewController(parent)
    , m_preferences(preferences)
    , m_deviceManager(deviceManager)
    , m_ui(new Ui::OVSupportViewController)
    , m_mailer(new OVSupportMailer(this))
    , m_openFolder([](const QString& folder) { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); }) {
    m_ui->setupUi(this);
    paintColours();
    showArchivePreview(false);
    m_ui->progressDiagnose->hide();
    m_ui->listDiagnosis->hide();
    const auto fileLogger = OVLogger::sharedInstance().fileLogger();
    m_logsDirectory =
        fileLogger ? fileLogger->manager().logsDirectory() : OVFileLoggerManager::defaultLogsDirectory();
    connect(m_ui->checkAllowLog, &QCheckBox::clicked, this, &OVSupportViewController::onAllowLogCheck);
    connect(m_ui->buttonSend, &QPushButton::clicked, this, &OVSupportViewController::onSendLogs);
    connect(m_ui->buttonConfirmSend, &QPushButton::clicked, this, &OVSupportViewController::onConfirmSend);
    connect(m_ui->buttonCancelSend, &QPushButton::clicked, this, &OVSupportViewController::onCancelSend);
    connect(m_ui->buttonOpenFolder, &QPushButton::clicked, this, [this] { m_openFolder(m_logsDirectory); });
    connect(m_ui->buttonDelete, &QPushButton::clicked, this, &OVSupportViewController::onDelete);
    connect(m_ui->buttonDiagnose, &QPushButton::clicked, this, &OVSupportViewController::onDiagnose);
    connect(m_mailer, &OVSupportMailer::finished, this, &OVSupportViewController::onMailFinished);
}

void OVSupportViewController::paintColours() {
    m_ui->viewContainerBackground->setBackgroundColor(OVStyleManager::getSupport_BackgroundColor());
    OVContentPalette::apply(m_ui->viewContainerBackground, OVStyleManager::getSupport_BackgroundColor());
}

OVSupportViewController::~OVSupportViewController() {
    // A zip the mail client may still be reading stays; one never sent goes.
    if (!m_pendingArchive.isEmpty() && !m_mailer->isSending())
        QFile::remove(m_pendingArchive);
    delete m_ui;
}

void OVSupportViewController::initializeView() {
    m_ui->checkAllowLog->setChecked(m_preferences->getAllowLog());
}

void OVSupportViewController::onAllowLogCheck(bool checked) {
    m_preferences->setAllowLog(checked);
}

void OVSupportViewController::onSendLogs() {
    if (!m_pendingArchive.isEmpty())
        QFile::remove(m_pendingArchive);
    m_pendingArchive = OVFileLoggerManager(m_logsDirectory).zipLogFiles();
    if (m_pendingArchive.isEmpty())
        return failSendLogs(tr("The log files in %1 could not be zipped.").arg(m_logsDirectory));
    OVError error;
    const auto entries = OVLogArchiveContents::entries(m_pendingArchive, &error);
    if (!error.description().isEmpty())
        return failSendLogs(error.description());
    m_ui->listArchive->clear();
    m_ui->listArchive->addItems(OVLogArchiveContents::describe(entries));
    m_ui->labelArchive->setText(
        tr("These files will be attached to your e-mail (%1):").arg(QFileInfo(m_pendingArchive).fileName()));
    showArchivePreview(true);
}

void OVSupportViewController::failSendLogs(const QString& reason) {
    OVLog("An exception occurred during %@. Exception: %@", QStringLiteral("onSendLogs"), reason);
    m_pendingArchive.clear();
    showMessage(tr("Error"), reason);
}

void OVSupportViewController::onConfirmSend() {
    if (m_pendingArchive.isEmpty() || m_mailer->isSending())
        return;
    m_ui->buttonConfirmSend->setEnabled(false);
    const QString subject =
        QStringLiteral("OvService %1 PROD Support \n\r").arg(OVHelper::getApplicationVersion());
    m_mailer->sendEmailWithMail(subject, {m_pendingArchive}, m_ui->textFieldIssue->toPlainText(),
                                OVConfiguration::supportAddress());
}

void OVSupportViewController::onCancelSend() {
    QFile::remove(m_pendingArchive);
    m_pendingArchive.clear();
    showArchivePreview(false);
}

void OVSupportViewController::onMailFinished(bool tookMessage, const QString& failure) {
    m_ui->buttonConfirmSend->setEnabled(true);
    showArchivePreview(false);
    const QString archive = std::exchange(m_pendingArchive, QString());
    if (!tookMessage) {
        // Nothing lost: the zip stays where the user can attach it by hand.
        showMessage(tr("Error"),
                    tr("No mail program took the support request (%1). The log archive %2 was kept: "
                       "please attach it to an e-mail to %3.")
                        .arg(failure, archive, OVConfiguration::supportAddress()));
        m_openFolder(QFileInfo(archive).absolutePath());
        return;
    }
    QFile::remove(archive);
    showMessage(tr("Support Request Sent"),
                tr("Thank you for emailing Orvane Customer Support. Your request will be "
                   "investigated as soon as possible."));
    m_ui->textFieldIssue->clear();
}

void OVSupportViewController::showArchivePreview(bool shown) {
    m_ui->viewArchivePreview->setVisible(shown);
    m_ui->buttonSend->setEnabled(!shown);
}

void OVSupportViewController::onDelete() {
    switch (OVLocalSessionDeleter::refusal(*m_deviceManager)) {
    case OVLocalSessionDeleter::Refusal::DeviceConnected:
        showAlert(false, tr("Orvanes connected."),
                  tr("In order to delete local session, all Orvanes must be unplugged."), false);
        return;
    case OVLocalSessionDeleter::Refusal::Syncing:
        showAlert(false, tr("Syncing"),
                  tr("In order to delete local session, all sessions syncing must be aborted."), false);
        return;
    case OVLocalSessionDeleter::Refusal::None:
        break;
    }
    QMessageBox* confirm = showAlert(true, tr("Delete the ALL local sessions?"),
                                     tr("Deleted sessions cannot be restored."), true);
    connect(confirm, &QMessageBox::buttonClicked, this, [this, confirm](QAbstractButton* button) {
        if (confirm->standardButton(button) == QMessageBox::Ok)
            deleteAllLocalSessions();
    });
}

void OVSupportViewController::deleteAllLocalSessions() {
    OVSessionFileRepository repository;
    OVLocalSessionDeleter::deleteAllSessions(*m_deviceManager, repository);
    OVStorageCleaner::sharedInstance().clean();
}

QMessageBox* OVSupportViewController::showAlert(bool critical, const QString& message,
                                                const QString& informativeText, bool withCancel) {
    auto* alert = new QMessageBox(critical ? QMessageBox::Critical : QMessageBox::Information, message,
                                  message, QMessageBox::Ok, this);
    alert->setInformativeText(informativeText);
    if (withCancel)
        alert->addButton(QMessageBox::Cancel);
    alert->setDefaultButton(QMessageBox::Ok);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    // A sheet of this window, in its turn among the window's prompts.
    OVPromptQueue::of(this).post(QString(), alert);
    return alert;
}

void OVSupportViewController::onDiagnose() {
    if (!m_credentialMgr)
        return;
    m_ui->buttonDiagnose->setEnabled(false);
    m_ui->progressDiagnose->show();
    OVCredentialManagerProtocol* credentialMgr = m_credentialMgr;
    OVPreferencesManagerProtocol* preferences = m_preferences;
    // A web client of its own: the sign-in check must not disturb the window's session.
    OVWorkerThread::run<QList<OVConnectionDoctor::Check>>(
        this,
        [credentialMgr, preferences] {
            OVService service(credentialMgr, preferences);
            return OVConnectionDoctor(credentialMgr, &service).run();
        },
        [this](QList<OVConnectionDoctor::Check> checks) { showDiagnosis(checks); });
}

void OVSupportViewController::showDiagnosis(const QList<OVConnectionDoctor::Check>& checks) {
    m_ui->progressDiagnose->hide();
    m_ui->buttonDiagnose->setEnabled(true);
    m_ui->listDiagnosis->clear();
    for (const OVConnectionDoctor::Check& check : checks) {
        QString text;
        QColor colour;
        switch (check.status) {
        case OVConnectionDoctor::Status::Pass:
            text = tr("OK  %1: %2").arg(check.name, check.detail);
            colour = OVStyleManager::getSupport_CheckPassedColor();
            break;
        case OVConnectionDoctor::Status::Fail:
            text = tr("FAILED  %1: %2\nFix: %3").arg(check.name, check.detail, check.fix);
            colour = OVStyleManager::getSupport_CheckFailedColor();
            break;
        case OVConnectionDoctor::Status::Skip:
            text = tr("SKIPPED  %1: %2").arg(check.name, check.detail);
            colour = OVStyleManager::getSupport_CheckSkippedColor();
            break;
        }
        auto* item = new QListWidgetItem(text, m_ui->listDiagnosis);
        item->setForeground(colour);
    }
    m_ui->listDiagnosis->show();
}
