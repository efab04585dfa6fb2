#include "OVCommandLine.h"

#include "OVAccountSignIn.h"
#include "OVConnectionDoctor.h"
#include "OVControlClient.h"
#include "OVCredentialManager.h"
#include "OVExportCommand.h"
#include "OVPreferencesManager.h"
#include "OVService.h"
#include "OVStatusReport.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>
#include <QThread>

#include <cstdio>
#include <iostream>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace {
constexpr int kCommandTimeoutMs = 15000;
// Sign-in waits for the web API, whose own request timeout ends a hung exchange first.
constexpr int kSignInTimeoutMs = 120000;

const QStringList kCommands = {
    QStringLiteral("sign-in"), QStringLiteral("sign-out"), QStringLiteral("sync"),  QStringLiteral("status"),
    QStringLiteral("quit"),    QStringLiteral("export"),   QStringLiteral("doctor")};
// Options that take the next argument as their value.
const QStringList kValueOptions = {QStringLiteral("--out"), QStringLiteral("--verify")};
} // namespace

OVCommandLine::OVCommandLine(const QStringList& arguments) {
    parse(arguments);
}

std::optional<qint64> OVCommandLine::parseSessionStart(const QString& text) {
    bool isNumber = false;
    const qint64 seconds = text.toLongLong(&isNumber);
    if (isNumber)
        return seconds;
    const QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!time.isValid())
        return std::nullopt;
    return time.toSecsSinceEpoch();
}

QString OVCommandLine::helpText() {
    return QStringLiteral(
        "Usage: ovservices [--headless]\n"
        "       ovservices COMMAND [ARGUMENTS]\n"
        "\n"
        "OvServices downloads the sessions of plugged-in Orvane devices and uploads them to the web API.\n"
        "\n"
        "Without a command the service starts; --headless runs it without any window. Only one instance\n"
        "runs per user: starting another one asks the running one to show its window, then exits.\n"
        "\n"
        "Commands (clients of the running instance):\n"
        "  sign-in USER      sign in; the password is read from standard input (a prompt without echo\n"
        "                    on a terminal). Without a running instance the credential is only stored.\n"
        "  sign-out          sign out\n"
        "  sync [SERIAL [START]]\n"
        "                    upload the stored sessions of every device, of one device, or one session\n"
        "                    now (START as in status: seconds since 1970 or ISO 8601), downloading\n"
        "                    what is missing first\n"
        "  status [--json]   the signed-in user, the known devices and their sessions\n"
        "                    (--json: the stable keys of docs/control.md)\n"
        "  quit              stop the running instance\n"
        "  export [--out DIR] [SERIAL [START]]\n"
        "                    write stored sessions as BagIt bags (docs/export.md), all of them, one\n"
        "                    device's or one session (START: seconds since 1970 or ISO 8601);\n"
        "                    works without a running instance\n"
        "  export --verify DIR  check exported bags and name the damaged ones\n"
        "  doctor [--json]   check the devices, the server, the sign-in, the folders and the desktop,\n"
        "                    with a fix for each failure; exit code 1 when a check fails\n"
        "\n"
        "Options:\n"
        "  --headless        run the service without any window\n"
        "  -h, --help        show this help\n"
        "  -v, --version     show the version\n"
        "\n"
        "Exit codes: 0 done, 1 refused or failed (reason on standard error), 2 bad usage,\n"
        "3 no running instance.\n");
}

void OVCommandLine::refuse(const QString& text) {
    m_action = Action::Exit;
    m_exitCode = BadUsage;
    m_exitText = QStringLiteral("ovservices: %1\nTry 'ovservices --help'.\n").arg(text);
}

void OVCommandLine::parse(const QStringList& arguments) {
    QStringList positional;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (kValueOptions.contains(argument)) {
            if (i + 1 == arguments.size())
                return refuse(QStringLiteral("%1 needs a value").arg(argument));
            m_options.insert(argument, arguments.at(++i));
            continue;
        }
        if (argument == QLatin1String("-h") || argument == QLatin1String("--help")) {
            m_action = Action::Exit;
            m_exitText = helpText();
            return;
        }
        if (argument == QLatin1String("-v") || argument == QLatin1String("--version")) {
            m_action = Action::Exit;
            m_exitText = QStringLiteral("ovservices %1\n").arg(QCoreApplication::applicationVersion());
            return;
        }
        if (argument == QLatin1String("--headless"))
            m_headless = true;
        else if (argument == QLatin1String("--json"))
            m_json = true;
        else if (argument.startsWith(QLatin1Char('-')) && argument.size() > 1)
            return refuse(QStringLiteral("unknown option '%1'").arg(argument));
        else
            positional.append(argument);
    }
    if (positional.isEmpty()) {
        if (m_json)
            return refuse(QStringLiteral("--json goes with the status command"));
        m_action = Action::RunService;
        return;
    }
    m_command = positional.takeFirst();
    m_commandArguments = positional;
    if (!kCommands.contains(m_command))
        return refuse(QStringLiteral("unknown command '%1'").arg(m_command));
    if (m_headless)
        return refuse(QStringLiteral("--headless starts the service; it takes no command"));
    if (m_json && m_command != QLatin1String("status") && m_command != QLatin1String("doctor"))
        return refuse(QStringLiteral("--json goes with the status and doctor commands"));
    if (!m_options.isEmpty() && m_command != QLatin1String("export"))
        return refuse(QStringLiteral("%1 goes with the export command").arg(m_options.firstKey()));
    const qsizetype count = m_commandArguments.size();
    const bool countOk = m_command == QLatin1String("sign-in") ? count == 1
                         : m_command == QLatin1String("sync")  ? count <= 2
                         : m_command == QLatin1String("export")
                             ? count <= (m_options.contains(QStringLiteral("--verify")) ? 0 : 2)
                             : count == 0;
    if (!countOk)
        return refuse(QStringLiteral("wrong number of arguments for '%1'").arg(m_command));
    if (m_command == QLatin1String("sync") && count == 2 && !parseSessionStart(m_commandArguments.at(1)))
        return refuse(QStringLiteral("START is seconds since 1970 or an ISO 8601 time, not '%1'")
                          .arg(m_commandArguments.at(1)));
    if (m_command == QLatin1String("sign-in") && m_commandArguments.first().isEmpty())
        return refuse(QStringLiteral("sign-in needs a user name"));
    m_action = Action::RunCommand;
}

bool OVCommandLine::askRunningInstanceToReopen(const QString& socketPath, QTextStream& err, int waitMs) {
    const QDeadlineTimer deadline(waitMs);
    for (;;) {
        const OVControlClient::Result result =
            OVControlClient(socketPath)
                .send({{QStringLiteral("command"), QStringLiteral("reopen")}}, kCommandTimeoutMs);
        if (result.outcome != OVControlClient::Outcome::NoInstance)
            break;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(100);
    }
    err << "ovservices: OvServices is already running; asked it to show its window\n";
    return true;
}

QString OVCommandLine::readPasswordFromStdin() {
    const bool terminal = isatty(STDIN_FILENO);
    termios saved{};
    if (terminal) {
        std::fputs("Password: ", stderr);
        std::fflush(stderr);
        tcgetattr(STDIN_FILENO, &saved);
        termios silent = saved;
        silent.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &silent);
    }
    std::string line;
    std::getline(std::cin, line);
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        std::fputs("\n", stderr);
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return QString::fromStdString(line);
}

int OVCommandLine::runCommand(const QString& socketPath, QTextStream& out, QTextStream& err,
                              const PasswordReader& readPassword) const {
    if (m_command == QLatin1String("sign-in"))
        return signIn(socketPath, out, err, readPassword);
    if (m_command == QLatin1String("doctor"))
        return doctor(out);
    if (m_command == QLatin1String("export"))
        return OVExportCommand::run(m_commandArguments, m_options.value(QStringLiteral("--out")),
                                    m_options.value(QStringLiteral("--verify")), out, err);

    QJsonObject request{{QStringLiteral("command"), m_command}};
    if (m_command == QLatin1String("sync") && !m_commandArguments.isEmpty())
        request.insert(QStringLiteral("serial"), m_commandArguments.first());
    if (m_command == QLatin1String("sync") && m_commandArguments.size() == 2)
        request.insert(QStringLiteral("start"), *parseSessionStart(m_commandArguments.at(1)));
    const OVControlClient::Result result = OVControlClient(socketPath).send(request, kCommandTimeoutMs);
    if (result.outcome == OVControlClient::Outcome::NoInstance) {
        err << "ovservices: OvServices is not running\n";
        return NoInstance;
    }
    if (result.outcome == OVControlClient::Outcome::Failed) {
        err << "ovservices: " << result.errorText << "\n";
        return Failed;
    }
    if (!result.answer.value(QStringLiteral("ok")).toBool()) {
        err << "ovservices: " << result.answer.value(QStringLiteral("error")).toString() << "\n";
        return Failed;
    }
    if (m_command == QLatin1String("status")) {
        const QJsonObject report = result.answer.value(QStringLiteral("status")).toObject();
        if (m_json)
            out << QJsonDocument(report).toJson(QJsonDocument::Indented);
        else
            out << OVStatusReport::toTable(report);
    }
    return Done;
}

int OVCommandLine::signIn(const QString& socketPath, QTextStream& out, QTextStream& err,
                          const PasswordReader& readPassword) const {
    const QString username = m_commandArguments.first();
    const OVControlClient client(socketPath);
    const bool running = client.isInstanceRunning();
    const QString password = readPassword();
    if (password.isEmpty()) {
        err << "ovservices: no password given\n";
        return Failed;
    }
    if (!running)
        return signInWithoutInstance(username, password, out, err);

    const QJsonObject request{{QStringLiteral("command"), m_command},
                              {QStringLiteral("username"), username},
                              {QStringLiteral("password"), password}};
    const OVControlClient::Result result = client.send(request, kSignInTimeoutMs);
    if (result.outcome == OVControlClient::Outcome::NoInstance) {
        // It stopped while the password was typed: keep the credential for its next start.
        return signInWithoutInstance(username, password, out, err);
    }
    if (result.outcome == OVControlClient::Outcome::Failed) {
        err << "ovservices: " << result.errorText << "\n";
        return Failed;
    }
    if (!result.answer.value(QStringLiteral("ok")).toBool()) {
        err << "ovservices: Authentication failed: "
            << result.answer.value(QStringLiteral("error")).toString() << "\n";
        return Failed;
    }
    out << "Signed in as " << username << "\n";
    return Done;
}

int OVCommandLine::signInWithoutInstance(const QString& username, const QString& password, QTextStream& out,
                                         QTextStream& err) const {
    OVCredentialManager credentialMgr;
    OVPreferencesManager prefMgr;
    OVService service(&credentialMgr, &prefMgr);
    std::optional<QString> failure;
    QEventLoop loop;
    OVAccountSignIn::signIn(&service, &credentialMgr, username, password,
                            [&](const std::optional<QString>& failureText) {
                                failure = failureText;
                                loop.quit();
                            });
    loop.exec();
    if (failure) {
        err << "ovservices: Authentication failed: " << *failure << "\n";
        return Failed;
    }
    out << "Signed in as " << username << " (stored for the next start; OvServices is not running)\n";
    return Done;
}

int OVCommandLine::doctor(QTextStream& out) const {
    OVCredentialManager credentialMgr;
    OVPreferencesManager prefMgr;
    OVService service(&credentialMgr, &prefMgr);
    OVConnectionDoctor doctor(&credentialMgr, &service);
    const QList<OVConnectionDoctor::Check> checks = doctor.run();
    if (m_json)
        out << QJsonDocument(OVConnectionDoctor::toJson(checks)).toJson(QJsonDocument::Indented);
    else
        out << OVConnectionDoctor::toText(checks);
    return OVConnectionDoctor::allPassed(checks) ? Done : Failed;
}
