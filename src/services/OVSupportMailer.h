#pragma once
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

/**
 * Hands a support request to the desktop's mail client: "xdg-email --subject S --body B --attach
 * ZIP ADDRESS". The program may be replaced (OV_MAIL_COMMAND, or setProgram in tests). Runs the
 * command without blocking the GUI thread and reports whether a mail client took the message.
 *
 * Some mail clients keep the command running until their compose window closes. A command still
 * running after kHandOverMs has handed the message over: it is reported taken then and left to run,
 * so that a compose window left open does not hold up the next request.
 */
class OVSupportMailer : public QObject {
    Q_OBJECT
public:
    explicit OVSupportMailer(QObject* parent = nullptr);

    /** OV_MAIL_COMMAND when set, else "xdg-email". */
    static QString defaultProgram();
    const QString& program() const { return m_program; }
    void setProgram(const QString& program) { m_program = program; }

    static QStringList arguments(const QString& subject, const QStringList& attachments, const QString& body,
                                 const QString& recipient);
    /** Starts the mail command; finished() follows, on the GUI thread. One request at a time. */
    void sendEmailWithMail(const QString& subject, const QStringList& attachments, const QString& body,
                           const QString& recipient);
    bool isSending() const { return m_process != nullptr; }

    static constexpr int kHandOverMs = 3000;

Q_SIGNALS:
    /** tookMessage is false when the command is missing, crashed or exited non-zero. */
    void finished(bool tookMessage, const QString& failure);

private:
    void onProcessEnded(bool tookMessage, const QString& failure);
    void onHandOverTime(QProcess* process);

    QString m_program;
    /** Owned while a request runs; null otherwise. */
    QProcess* m_process = nullptr;
};
