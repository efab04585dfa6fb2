#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QTextStream;

/**
 * The command line of `ovservices`: the service itself (`ovservices`, `ovservices --headless`) or
 * one of the subcommands, each a client of the running instance's control socket.
 *
 * Exit codes of the subcommands: 0 done, 1 refused or failed (the reason on standard error),
 * 2 bad usage, 3 no running instance.
 */
class OVCommandLine {
public:
    enum ExitCode { Done = 0, Failed = 1, BadUsage = 2, NoInstance = 3 };
    enum class Action { RunService, RunCommand, Exit };

    /** Reads the password of `sign-in`; the default reads standard input, without echo on a terminal. */
    using PasswordReader = std::function<QString()>;

    /** arguments include the program name, as QCoreApplication::arguments() gives them. */
    explicit OVCommandLine(const QStringList& arguments);

    Action action() const { return m_action; }
    bool isHeadless() const { return m_headless; }
    /** The subcommand, when action() is RunCommand. */
    const QString& command() const { return m_command; }
    /** The exit code when action() is Exit; what to print is in exitText(). */
    int exitCode() const { return m_exitCode; }
    const QString& exitText() const { return m_exitText; }

    /** Runs the subcommand against the instance listening on socketPath; answers the exit code. */
    int runCommand(const QString& socketPath, QTextStream& out, QTextStream& err,
                   const PasswordReader& readPassword = readPasswordFromStdin) const;

    /**
     * A second launch of the service: when an instance answers on socketPath (within waitMs, for
     * one still starting), asks it to show its window, tells so on err and answers true; false
     * when none answers.
     */
    static bool askRunningInstanceToReopen(const QString& socketPath, QTextStream& err, int waitMs = 0);

    static QString helpText();
    /** A session's START as the status report shows it: whole seconds since 1970, or an ISO 8601 time. */
    static std::optional<qint64> parseSessionStart(const QString& text);
    static QString readPasswordFromStdin();

private:
    void parse(const QStringList& arguments);
    void refuse(const QString& text);
    int signIn(const QString& socketPath, QTextStream& out, QTextStream& err,
               const PasswordReader& readPassword) const;
    /** Runs the checks in this process: they must work when the service does not. */
    int doctor(QTextStream& out) const;
    int signInWithoutInstance(const QString& username, const QString& password, QTextStream& out,
                              QTextStream& err) const;

    Action m_action = Action::RunService;
    bool m_headless = false;
    bool m_json = false;
    /** Options with a value (--out, --verify), by name. */
    QMap<QString, QString> m_options;
    QString m_command;
    QStringList m_commandArguments;
    int m_exitCode = Done;
    QString m_exitText;
};
