#include "OVSupportMailer.h"
#include "OVSyslogSink.h"

#include <QTimer>

OVSupportMailer::OVSupportMailer(QObject* parent)
    : QObject(parent)
    , m_program(defaultProgram()) {}

QString OVSupportMailer::defaultProgram() {
    const QString configured = qEnvironmentVariable("OV_MAIL_COMMAND");
    return configured.isEmpty() ? QStringLiteral("xdg-email") : configured;
}

QStringList OVSupportMailer::arguments(const QString& subject, const QStringList& attachments,
                                       const QString& body, const QString& recipient) {
    QStringList args{QStringLiteral("--subject"), subject, QStringLiteral("--body"), body};
    for (const QString& attachment : attachments)
        args << QStringLiteral("--attach") << attachment;
    args << recipient;
    return args;
}

void OVSupportMailer::sendEmailWithMail(const QString& subject, const QStringList& attachments,
                                        const QString& body, const QString& recipient) {
    if (m_process)
        return;
    m_process = new QProcess(this);
    connect(m_process, &QProcess::finished, this, [this](int exitCode, QProcess::ExitStatus status) {
        const bool took = status == QProcess::NormalExit && exitCode == 0;
        onProcessEnded(took, took ? QString() : tr("The mail command ended with code %1.").arg(exitCode));
    });
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        // A crash also reports finished(); only a command that never ran ends here.
        if (error == QProcess::FailedToStart)
            onProcessEnded(false, tr("The mail command \"%1\" could not be started.").arg(m_program));
    });
    QProcess* const process = m_process;
    connect(process, &QProcess::started, this, [this, process] {
        QTimer::singleShot(kHandOverMs, this, [this, process] { onHandOverTime(process); });
    });
    m_process->start(m_program, arguments(subject, attachments, body, recipient));
}

void OVSupportMailer::onHandOverTime(QProcess* process) {
    if (process != m_process || process->state() != QProcess::Running)
        return;
    // It stays this object's child, so it is cleaned up when it ends; its end reports nothing more.
    disconnect(process, nullptr, this, nullptr);
    connect(process, &QProcess::finished, process, &QObject::deleteLater);
    m_process = nullptr;
    OVSyslogSink::writeDirect(QStringLiteral("Message passed to Mail"));
    Q_EMIT finished(true, QString());
}

void OVSupportMailer::onProcessEnded(bool tookMessage, const QString& failure) {
    if (!m_process)
        return;
    m_process->deleteLater();
    m_process = nullptr;
    if (tookMessage)
        OVSyslogSink::writeDirect(QStringLiteral("Message passed to Mail"));
    Q_EMIT finished(tookMessage, failure);
}
