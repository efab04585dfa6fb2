#pragma once
#include "OVBaseViewController.h"
#include "OVConnectionDoctor.h"

#include <functional>

class OVCredentialManagerProtocol;
class OVDeviceManagerProtocol;
class OVPreferencesManagerProtocol;
class OVSupportMailer;
class QMessageBox;

namespace Ui {
class OVSupportViewController;
}

/**
 * The support entry: the switch that allows logging, the support request (the zipped logs are
 * listed to the user before anything leaves the machine, then handed to the mail client; where no
 * mail client takes them the zip is kept and shown in the file manager) and deleting every locally
 * stored session; and a connection diagnosis that lists every check with what to do about a failure.
 * GUI thread only; the diagnosis runs on a worker.
 */
class OVSupportViewController : public OVBaseViewController {
    Q_OBJECT
public:
    using FolderOpener = std::function<void(const QString& folder)>;

    /** preferences and deviceManager are not owned and outlive the view. */
    OVSupportViewController(OVPreferencesManagerProtocol* preferences, OVDeviceManagerProtocol* deviceManager,
                            QWidget* parent = nullptr);
    ~OVSupportViewController() override;

    void initializeView() override;

    /** Where the log files are zipped from; the file logger's folder by default. */
    void setLogsDirectory(const QString& directory) { m_logsDirectory = directory; }
    /** Replaces how a folder is shown (the desktop's file manager by default). */
    void setFolderOpener(FolderOpener opener) { m_openFolder = std::move(opener); }
    OVSupportMailer& mailer() { return *m_mailer; }
    /** The credentials the diagnosis tries against the server; not owned, must outlive the app. */
    void setCredentialManager(OVCredentialManagerProtocol* credentialMgr) { m_credentialMgr = credentialMgr; }
    /** The archive waiting for the user's confirmation; empty when none. */
    const QString& pendingArchive() const { return m_pendingArchive; }

    void onSendLogs();
    /** Logs why the archive could not be made, forgets it and tells the user. */
    void failSendLogs(const QString& reason);
    void onDelete();
    /** Runs the connection checks on a worker; the list fills when they are done. */
    void onDiagnose();

protected:
    void paintColours() override;

private:
    void onAllowLogCheck(bool checked);
    void onConfirmSend();
    void onCancelSend();
    void onMailFinished(bool tookMessage, const QString& failure);
    void showArchivePreview(bool shown);
    void deleteAllLocalSessions();
    void showDiagnosis(const QList<OVConnectionDoctor::Check>& checks);
    /** A window-modal alert in its turn among the window's prompts; deletes itself when closed. */
    QMessageBox* showAlert(bool critical, const QString& message, const QString& informativeText,
                           bool withCancel);

    OVPreferencesManagerProtocol* m_preferences;
    OVDeviceManagerProtocol* m_deviceManager;
    /** Its layoutDiagnose, beside the send button, is kept empty for a connection check button. */
    Ui::OVSupportViewController* m_ui;
    /** Owned (child). */
    OVSupportMailer* m_mailer;
    QString m_logsDirectory;
    QString m_pendingArchive;
    FolderOpener m_openFolder;
    OVCredentialManagerProtocol* m_credentialMgr = nullptr;
};
