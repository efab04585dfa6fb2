#include "SimCli.h"

#include "OrvaneSocketTransport.h"
#include "SimControlClient.h"
#include "SimDaemon.h"
#include "SimDeviceHub.h"
#include "SimFirmwareImage.h"
#include "SimPlugOptions.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <memory>
#include <pthread.h>

namespace {
enum Exit { Ok = 0, Refused = 1, Usage = 2, NoDaemon = 3 };

QTextStream& err() {
    static QTextStream stream(stderr);
    return stream;
}

QTextStream& out() {
    static QTextStream stream(stdout);
    return stream;
}

int usageError(const QString& text) {
    err() << "ovdevsim: " << text << "\n(see ovdevsim --help)\n";
    err().flush();
    return Usage;
}

const char kGeneralHelp[] =
    "usage: ovdevsim [--socket PATH] [--wait SECONDS] COMMAND [ARGS]\n"
    "\n"
    "The Orvane device emulator. `serve` runs the daemon; every other command talks to it.\n"
    "\n"
    "commands:\n"
    "  serve                    run the daemon (state directory, socket, link model)\n"
    "  plug                     plug in a new device (or a known one again); prints its serial\n"
    "  unplug SERIAL            unplug a device (it keeps its recordings)\n"
    "  replug SERIAL            unplug and plug a device again\n"
    "  recovery SERIAL          restart a device in recovery mode at its location\n"
    "  add-hid [--location L]   plug a lone recovery-mode device; prints its serial\n"
    "  battery SERIAL LEVEL     set a device's battery level (0-100)\n"
    "  fault SERIAL ...         inject a fault (see ovdevsim fault --help)\n"
    "  clear-faults SERIAL      remove every fault of a device\n"
    "  link ...                 show or change the link model\n"
    "  list [--json]            every known device\n"
    "  sessions SERIAL [--json] a device's session table\n"
    "  dump SERIAL INDEX        the raw bytes of a session's pages\n"
    "  ping                     succeed when a daemon answers\n"
    "  make-firmware            write a firmware image file (.hff)\n"
    "\n"
    "global options:\n"
    "  --socket PATH    the daemon's socket (default: $OV_DEVSIM_SOCKET, else\n"
    "                   $XDG_RUNTIME_DIR/ovdevsim.sock, else /tmp/ovdevsim-UID.sock)\n"
    "  --wait SECONDS   keep trying that long to reach a daemon that is starting\n"
    "\n"
    "`ovdevsim COMMAND --help` describes each command.\n";

/** A parser for one command; answers false (after printing) on bad arguments or --help. */
struct Command {
    QCommandLineParser parser;
    QString name;
    int exitCode = Ok;

    Command(const QString& commandName, const QString& description, const QString& positional = QString())
        : name(commandName) {
        parser.setApplicationDescription(description);
        parser.addHelpOption();
        if (!positional.isEmpty()) {
            for (const QString& p : positional.split(QLatin1Char(' ')))
                parser.addPositionalArgument(p, QString());
        }
    }
    void option(const QString& names, const QString& help, const QString& value = QString()) {
        parser.addOption(QCommandLineOption(names.split(QLatin1Char(',')), help, value));
    }
    bool parse(const QStringList& args, int positionals) {
        QStringList full = args;
        full.prepend(QStringLiteral("ovdevsim ") + name);
        if (!parser.parse(full)) {
            exitCode = usageError(parser.errorText());
            return false;
        }
        if (parser.isSet(QStringLiteral("help"))) {
            // The first line names the program as the user typed it: "ovdevsim COMMAND".
            QString help = parser.helpText();
            const qsizetype lineEnd = help.indexOf(QLatin1Char('\n'));
            const qsizetype optionsAt = help.indexOf(QLatin1String(" [options]"));
            if (optionsAt > 0 && optionsAt < lineEnd)
                help.replace(0, optionsAt, QStringLiteral("Usage: ovdevsim ") + name);
            out() << help;
            out().flush();
            exitCode = Ok;
            return false;
        }
        if (positionals >= 0 && parser.positionalArguments().size() != positionals) {
            exitCode = usageError(QStringLiteral("%1 takes %2 argument(s): %3")
                                      .arg(name)
                                      .arg(positionals)
                                      .arg(parser.positionalArguments().join(QLatin1Char(' '))));
            return false;
        }
        return true;
    }
    QString value(const char* option) const { return parser.value(QLatin1String(option)); }
    bool isSet(const char* option) const { return parser.isSet(QLatin1String(option)); }
    QString arg(int i) const { return parser.positionalArguments().value(i); }
};

std::optional<qint64> parseNumber(const QString& text, qint64 min, qint64 max) {
    bool ok = false;
    const qint64 v = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
                         ? text.mid(2).toLongLong(&ok, 16)
                         : text.toLongLong(&ok, 10);
    if (!ok || v < min || v > max)
        return std::nullopt;
    return v;
}

/** Runs one control request and reports its failure; answers the reply on success. */
std::optional<QJsonObject> call(const QString& socket, double wait, const QJsonObject& request, int* exitCode,
                                const std::function<void(const QByteArray&)>& data = {}) {
    QString error;
    SimControlClient client(socket, wait);
    const std::optional<QJsonObject> reply = client.call(request, &error, data);
    if (!reply) {
        err() << "ovdevsim: " << error << "\n";
        err().flush();
        *exitCode = NoDaemon;
        return std::nullopt;
    }
    if (!reply->value(QStringLiteral("ok")).toBool()) {
        err() << "ovdevsim: " << reply->value(QStringLiteral("error")).toString() << "\n";
        err().flush();
        *exitCode = Refused;
        return std::nullopt;
    }
    *exitCode = Ok;
    return reply;
}

QString defaultStateDirectory() {
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty())
        base = QDir::home().filePath(QStringLiteral(".local/state"));
    return QDir(base).filePath(QStringLiteral("ovdevsim"));
}

void addLinkOptions(Command& c) {
    c.option(QStringLiteral("preset"),
             QStringLiteral("zero (no delays) or usb-fs (full-speed USB, the default)"),
             QStringLiteral("name"));
    c.option(QStringLiteral("latency-us"), QStringLiteral("fixed time per request, microseconds"),
             QStringLiteral("n"));
    c.option(QStringLiteral("bandwidth"), QStringLiteral("bytes per second (0: no transfer time)"),
             QStringLiteral("n"));
    c.option(QStringLiteral("restart-ms"), QStringLiteral("how long a restarting device is away"),
             QStringLiteral("n"));
    c.option(QStringLiteral("flash-block-us"), QStringLiteral("time to program one 4 KiB firmware block"),
             QStringLiteral("n"));
}

std::optional<QJsonObject> linkJson(const Command& c) {
    QJsonObject json;
    if (c.isSet("preset"))
        json.insert(QStringLiteral("preset"), c.value("preset"));
    const char* keys[][2] = {{"latency-us", "latency_us"},
                             {"bandwidth", "bandwidth"},
                             {"restart-ms", "restart_ms"},
                             {"flash-block-us", "flash_block_us"}};
    for (const auto& k : keys) {
        if (!c.isSet(k[0]))
            continue;
        const std::optional<qint64> v = parseNumber(c.value(k[0]), 0, 1000000000000ll);
        if (!v) {
            usageError(QStringLiteral("--%1 needs a number from 0 up").arg(QLatin1String(k[0])));
            return std::nullopt;
        }
        json.insert(QLatin1String(k[1]), double(*v));
    }
    return json;
}

int serve(const QStringList& args, const QString& socket) {
    Command c(QStringLiteral("serve"),
              QStringLiteral("Run the emulator daemon in the foreground until SIGINT or "
                             "SIGTERM. Devices saved as plugged are plugged again."));
    c.option(QStringLiteral("state-dir"),
             QStringLiteral("where devices are saved (default: $XDG_STATE_HOME/ovdevsim)"),
             QStringLiteral("dir"));
    addLinkOptions(c);
    if (!c.parse(args, 0))
        return c.exitCode;
    const std::optional<QJsonObject> linkOptions = linkJson(c);
    if (!linkOptions)
        return Usage;
    QString error;
    const std::optional<SimLinkModel> link =
        SimLinkModel::fromJson(*linkOptions, SimLinkModel::fullSpeed(), &error);
    if (!link)
        return usageError(error);
    const QString stateDir = c.isSet("state-dir") ? c.value("state-dir") : defaultStateDirectory();

    // SIGINT and SIGTERM are taken by this thread alone: every thread started below inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    auto hub = std::make_shared<SimDeviceHub>(stateDir, *link);
    for (const QString& e : hub->loadErrors())
        err() << "ovdevsim: skipped saved device " << e << "\n";
    SimDaemon daemon(hub, socket);
    if (!daemon.listen(&error)) {
        err() << "ovdevsim: " << error << "\n";
        err().flush();
        return Refused;
    }
    daemon.start();
    err() << "ovdevsim: serving " << socket << " (state " << stateDir << ", " << hub->attachedDevices().size()
          << " device(s) plugged)\n";
    err().flush();
    int received = 0;
    sigwait(&signals, &received);
    daemon.stop();
    err() << "ovdevsim: stopped\n";
    err().flush();
    return Ok;
}

int plug(const QStringList& args, const QString& socket, double wait) {
    Command c(
        QStringLiteral("plug"),
        QStringLiteral("Plug in a new emulated device with recorded sessions and print its serial. A known "
                       "serial that is unplugged is plugged back as it was."));
    c.option(QStringLiteral("serial"),
             QStringLiteral("serial, 12-32 letters, digits or '-' (default: next free)"),
             QStringLiteral("text"));
    c.option(QStringLiteral("sessions"), QStringLiteral("number of recorded sessions (default 3)"),
             QStringLiteral("n"));
    c.option(QStringLiteral("pages"),
             QStringLiteral("pages per session, comma-separated, used in turn (default 64)"),
             QStringLiteral("list"));
    c.option(QStringLiteral("user"),
             QStringLiteral("user ids of the sessions, comma-separated (default 101)"),
             QStringLiteral("list"));
    c.option(QStringLiteral("default-user"), QStringLiteral("the device's default user (default: none)"),
             QStringLiteral("id"));
    c.option(QStringLiteral("firmware"), QStringLiteral("firmware revision (default 1.0.9)"),
             QStringLiteral("x.y.z"));
    c.option(QStringLiteral("battery"), QStringLiteral("battery level 0-100 (default 87)"),
             QStringLiteral("n"));
    c.option(QStringLiteral("location"), QStringLiteral("USB location, e.g. 0x14200000 (default: next free)"),
             QStringLiteral("loc"));
    c.option(QStringLiteral("model"), QStringLiteral("model text (default OVR-1)"), QStringLiteral("text"));
    c.option(QStringLiteral("hw"), QStringLiteral("hardware revision (default 2.1)"), QStringLiteral("text"));
    c.option(QStringLiteral("seed"),
             QStringLiteral("seed of the session contents (default: from the serial)"), QStringLiteral("n"));
    c.option(
        QStringLiteral("first-start"),
        QStringLiteral("start of the first session, seconds since 1970 (default: a day per session ago)"),
        QStringLiteral("seconds"));
    c.option(QStringLiteral("corrupted"),
             QStringLiteral("mark session INDEX corrupted with STATUS (repeatable)"),
             QStringLiteral("index:status"));
    c.option(QStringLiteral("empty"), QStringLiteral("record session INDEX as an empty record (repeatable)"),
             QStringLiteral("index"));
    c.option(QStringLiteral("reuse"), QStringLiteral("a known serial already plugged in is not an error"));
    if (!c.parse(args, 0))
        return c.exitCode;
    QJsonObject json{{QStringLiteral("cmd"), QStringLiteral("plug")}};
    auto numberList = [&](const char* option, const char* key, qint64 min) -> bool {
        if (!c.isSet(option))
            return true;
        QJsonArray values;
        for (const QString& part : c.value(option).split(QLatin1Char(','))) {
            const std::optional<qint64> v = parseNumber(part.trimmed(), min, 4294967295ll);
            if (!v)
                return false;
            values.append(double(*v));
        }
        json.insert(QLatin1String(key), values);
        return true;
    };
    if (!numberList("pages", "pages", SimPlugOptions::kMinPages))
        return usageError(QStringLiteral("--pages needs numbers of at least 2, comma-separated"));
    if (!numberList("user", "users", 0))
        return usageError(QStringLiteral("--user needs user ids, comma-separated"));
    const struct {
        const char* option;
        const char* key;
        qint64 min;
        qint64 max;
    } numbers[] = {{"sessions", "sessions", 0, SimPlugOptions::kMaxSessions},
                   {"default-user", "default_user", 0, 4294967295ll},
                   {"battery", "battery", 0, SimPlugOptions::kMaxBattery},
                   {"location", "location", 1, 4294967295ll}};
    for (const auto& n : numbers) {
        if (!c.isSet(n.option))
            continue;
        const std::optional<qint64> v = parseNumber(c.value(n.option), n.min, n.max);
        if (!v)
            return usageError(QStringLiteral("--%1 needs a number from %2 to %3")
                                  .arg(QLatin1String(n.option))
                                  .arg(n.min)
                                  .arg(n.max));
        json.insert(QLatin1String(n.key), double(*v));
    }
    if (c.isSet("seed")) {
        const std::optional<qint64> v = parseNumber(c.value("seed"), 0, std::numeric_limits<qint64>::max());
        if (!v)
            return usageError(QStringLiteral("--seed needs a number"));
        json.insert(QStringLiteral("seed"), QString::number(*v));
    }
    if (c.isSet("first-start")) {
        const std::optional<qint64> v = parseNumber(c.value("first-start"), 1, 4102444800ll);
        if (!v)
            return usageError(QStringLiteral("--first-start needs seconds since 1970"));
        json.insert(QStringLiteral("first_start"), QString::number(quint64(*v) * 256));
    }
    QJsonArray corrupted;
    for (const QString& value : c.parser.values(QStringLiteral("corrupted"))) {
        const QStringList parts = value.split(QLatin1Char(':'));
        const std::optional<qint64> index = parts.size() == 2 ? parseNumber(parts[0], 0, 1000) : std::nullopt;
        const std::optional<qint64> status =
            parts.size() == 2 ? parseNumber(parts[1], 0, 2147483647) : std::nullopt;
        if (!index || !status)
            return usageError(QStringLiteral("--corrupted needs INDEX:STATUS, e.g. 1:3"));
        corrupted.append(QJsonArray{double(*index), double(*status)});
    }
    json.insert(QStringLiteral("corrupted"), corrupted);
    QJsonArray empty;
    for (const QString& value : c.parser.values(QStringLiteral("empty"))) {
        const std::optional<qint64> index = parseNumber(value, 0, 1000);
        if (!index)
            return usageError(QStringLiteral("--empty needs a session index"));
        empty.append(double(*index));
    }
    json.insert(QStringLiteral("empty"), empty);
    const char* texts[][2] = {
        {"serial", "serial"}, {"firmware", "firmware"}, {"model", "model"}, {"hw", "hw_revision"}};
    for (const auto& t : texts) {
        if (c.isSet(t[0]))
            json.insert(QLatin1String(t[1]), c.value(t[0]));
    }
    json.insert(QStringLiteral("reuse"), c.isSet("reuse"));
    int exitCode = Ok;
    if (const auto reply = call(socket, wait, json, &exitCode)) {
        out() << reply->value(QStringLiteral("serial")).toString() << "\n";
        out().flush();
    }
    return exitCode;
}

int serialCommand(const QString& name, const QString& description, const QStringList& args,
                  const QString& socket, double wait) {
    Command c(name, description, QStringLiteral("SERIAL"));
    if (!c.parse(args, 1))
        return c.exitCode;
    int exitCode = Ok;
    call(socket, wait, {{QStringLiteral("cmd"), name}, {QStringLiteral("serial"), c.arg(0)}}, &exitCode);
    return exitCode;
}

int addHid(const QStringList& args, const QString& socket, double wait) {
    Command c(QStringLiteral("add-hid"),
              QStringLiteral("Plug in a lone device in recovery (HID) mode; print its "
                             "serial. Flashing it brings it up in data mode."));
    c.option(QStringLiteral("location"), QStringLiteral("USB location, e.g. 0x14300000 (default: next free)"),
             QStringLiteral("loc"));
    if (!c.parse(args, 0))
        return c.exitCode;
    QJsonObject json{{QStringLiteral("cmd"), QStringLiteral("add-hid")}};
    if (c.isSet("location")) {
        const std::optional<qint64> v = parseNumber(c.value("location"), 1, 4294967295ll);
        if (!v)
            return usageError(QStringLiteral("--location needs a number from 1 to 0xFFFFFFFF"));
        json.insert(QStringLiteral("location"), double(*v));
    }
    int exitCode = Ok;
    if (const auto reply = call(socket, wait, json, &exitCode)) {
        out() << reply->value(QStringLiteral("serial")).toString() << "\n";
        out().flush();
    }
    return exitCode;
}

int battery(const QStringList& args, const QString& socket, double wait) {
    Command c(QStringLiteral("battery"), QStringLiteral("Set a device's battery level."),
              QStringLiteral("SERIAL LEVEL"));
    if (!c.parse(args, 2))
        return c.exitCode;
    const std::optional<qint64> level = parseNumber(c.arg(1), 0, SimPlugOptions::kMaxBattery);
    if (!level)
        return usageError(QStringLiteral("LEVEL must be from 0 to %1").arg(SimPlugOptions::kMaxBattery));
    int exitCode = Ok;
    call(socket, wait,
         {{QStringLiteral("cmd"), QStringLiteral("battery")},
          {QStringLiteral("serial"), c.arg(0)},
          {QStringLiteral("level"), double(*level)}},
         &exitCode);
    return exitCode;
}

int fault(const QStringList& args, const QString& socket, double wait) {
    Command c(QStringLiteral("fault"),
              QStringLiteral("Inject one fault into a device; give exactly one kind."),
              QStringLiteral("SERIAL"));
    c.option(QStringLiteral("fail-page"), QStringLiteral("reads of page P answer status 4"),
             QStringLiteral("P"));
    c.option(QStringLiteral("corrupt-page"),
             QStringLiteral("reads of page P return altered data (CRC fails)"), QStringLiteral("P"));
    c.option(QStringLiteral("refuse"), QStringLiteral("requests are refused at once"));
    c.option(QStringLiteral("no-answer"), QStringLiteral("requests are accepted and never answered"));
    c.option(QStringLiteral("fail-battery"), QStringLiteral("battery queries answer status 5"));
    c.option(QStringLiteral("fail-firmware"),
             QStringLiteral("firmware writes fail with status 7 (see --at)"));
    c.option(QStringLiteral("unplug-after-pages"),
             QStringLiteral("unplug the device after N more page reads"), QStringLiteral("N"));
    c.option(QStringLiteral("resize-page"), QStringLiteral("reads of page P return --size bytes"),
             QStringLiteral("P"));
    c.option(QStringLiteral("size"), QStringLiteral("with --resize-page: the page's size in bytes"),
             QStringLiteral("bytes"));
    c.option(QStringLiteral("times"), QStringLiteral("fire N times, then go away (default: always)"),
             QStringLiteral("N"));
    c.option(
        QStringLiteral("op"),
        QStringLiteral("with --refuse or --no-answer: only this request (battery, page, sessions, erase, "
                       "identify, reset, set-clock, set-user, get-user, flash)"),
        QStringLiteral("name"));
    c.option(QStringLiteral("at"),
             QStringLiteral("with --fail-firmware: fail once this percentage is written "
                            "(default 50)"),
             QStringLiteral("percent"));
    if (!c.parse(args, 1))
        return c.exitCode;
    QJsonObject f;
    int kinds = 0;
    const struct {
        const char* option;
        const char* kind;
        const char* key;
    } table[] = {{"fail-page", "fail-page", "page"},
                 {"corrupt-page", "corrupt-page", "page"},
                 {"refuse", "refuse", nullptr},
                 {"no-answer", "no-answer", nullptr},
                 {"fail-battery", "fail-battery", nullptr},
                 {"fail-firmware", "fail-firmware", nullptr},
                 {"unplug-after-pages", "unplug-after-pages", "pages"},
                 {"resize-page", "resize-page", "page"}};
    for (const auto& t : table) {
        if (!c.isSet(t.option))
            continue;
        ++kinds;
        f.insert(QStringLiteral("kind"), QLatin1String(t.kind));
        if (t.key) {
            const std::optional<qint64> v = parseNumber(c.value(t.option), 0, 4294967295ll);
            if (!v)
                return usageError(QStringLiteral("--%1 needs a number").arg(QLatin1String(t.option)));
            f.insert(QLatin1String(t.key), double(*v));
        }
    }
    if (kinds != 1)
        return usageError(QStringLiteral("fault needs exactly one fault kind (see ovdevsim fault --help)"));
    if (c.isSet("times")) {
        const std::optional<qint64> v = parseNumber(c.value("times"), 1, 1000000000);
        if (!v)
            return usageError(QStringLiteral("--times needs a count from 1 up"));
        f.insert(QStringLiteral("times"), double(*v));
    }
    if (c.isSet("at")) {
        const std::optional<qint64> v = parseNumber(c.value("at"), 0, 100);
        if (!v)
            return usageError(QStringLiteral("--at needs a percentage from 0 to 100"));
        f.insert(QStringLiteral("at_percent"), double(*v));
    }
    if (c.isSet("size")) {
        const std::optional<qint64> v = parseNumber(c.value("size"), 0, 65536);
        if (!v)
            return usageError(QStringLiteral("--size needs a number of bytes from 0 to 65536"));
        f.insert(QStringLiteral("size"), double(*v));
    }
    if (c.isSet("op"))
        f.insert(QStringLiteral("op"), c.value("op"));
    int exitCode = Ok;
    call(socket, wait,
         {{QStringLiteral("cmd"), QStringLiteral("fault")},
          {QStringLiteral("serial"), c.arg(0)},
          {QStringLiteral("fault"), f}},
         &exitCode);
    return exitCode;
}

int link(const QStringList& args, const QString& socket, double wait) {
    Command c(QStringLiteral("link"), QStringLiteral("Show the link model, or change it for every device."));
    addLinkOptions(c);
    if (!c.parse(args, 0))
        return c.exitCode;
    std::optional<QJsonObject> json = linkJson(c);
    if (!json)
        return Usage;
    json->insert(QStringLiteral("cmd"), QStringLiteral("link"));
    int exitCode = Ok;
    if (const auto reply = call(socket, wait, *json, &exitCode)) {
        const QJsonObject l = reply->value(QStringLiteral("link")).toObject();
        out() << "latency " << l.value(QStringLiteral("latency_us")).toInteger() << " us, bandwidth "
              << l.value(QStringLiteral("bandwidth")).toInteger() << " B/s, restart "
              << l.value(QStringLiteral("restart_ms")).toInteger() << " ms, flash block "
              << l.value(QStringLiteral("flash_block_us")).toInteger() << " us\n";
        out().flush();
    }
    return exitCode;
}

int list(const QStringList& args, const QString& socket, double wait) {
    Command c(QStringLiteral("list"), QStringLiteral("List every device the daemon knows, plugged or not."));
    c.option(QStringLiteral("json"), QStringLiteral("print JSON"));
    if (!c.parse(args, 0))
        return c.exitCode;
    int exitCode = Ok;
    const auto reply = call(socket, wait, {{QStringLiteral("cmd"), QStringLiteral("list")}}, &exitCode);
    if (!reply)
        return exitCode;
    const QJsonArray devices = reply->value(QStringLiteral("devices")).toArray();
    if (c.isSet("json")) {
        out() << QJsonDocument(devices).toJson(QJsonDocument::Indented);
    } else {
        out() << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8\n")
                     .arg(QStringLiteral("SERIAL"), -17)
                     .arg(QStringLiteral("STATE"), -9)
                     .arg(QStringLiteral("MODE"), -8)
                     .arg(QStringLiteral("LOCATION"), -11)
                     .arg(QStringLiteral("FIRMWARE"), -9)
                     .arg(QStringLiteral("BATT"), -5)
                     .arg(QStringLiteral("USER"), -11)
                     .arg(QStringLiteral("SESSIONS"));
        for (const QJsonValue& v : devices) {
            const QJsonObject d = v.toObject();
            const qint64 user = d.value(QStringLiteral("default_user")).toInteger();
            const QString state =
                d.value(QStringLiteral("attached")).toBool()
                    ? QStringLiteral("attached")
                    : (d.value(QStringLiteral("plugged")).toBool() ? QStringLiteral("restart")
                                                                   : QStringLiteral("unplugged"));
            out() << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8\n")
                         .arg(d.value(QStringLiteral("serial")).toString(), -17)
                         .arg(state, -9)
                         .arg(d.value(QStringLiteral("mode")).toString(), -8)
                         .arg(d.value(QStringLiteral("location")).toString(), -11)
                         .arg(d.value(QStringLiteral("fw_revision")).toString(), -9)
                         .arg(d.value(QStringLiteral("battery")).toInt(), -5)
                         .arg(user == 4294967295ll ? QStringLiteral("none") : QString::number(user), -11)
                         .arg(d.value(QStringLiteral("sessions")).toInt());
        }
    }
    out().flush();
    return Ok;
}

int sessions(const QStringList& args, const QString& socket, double wait) {
    Command c(QStringLiteral("sessions"),
              QStringLiteral("Show a device's session table as the device holds it."),
              QStringLiteral("SERIAL"));
    c.option(QStringLiteral("json"), QStringLiteral("print JSON"));
    if (!c.parse(args, 1))
        return c.exitCode;
    int exitCode = Ok;
    const auto reply =
        call(socket, wait,
             {{QStringLiteral("cmd"), QStringLiteral("sessions")}, {QStringLiteral("serial"), c.arg(0)}},
             &exitCode);
    if (!reply)
        return exitCode;
    const QJsonArray table = reply->value(QStringLiteral("sessions")).toArray();
    if (c.isSet("json")) {
        out() << QJsonDocument(table).toJson(QJsonDocument::Indented);
    } else {
        out() << "INDEX START                     PAGES              COUNT  USER       FIRMWARE CORRUPTED "
                 "CRC\n";
        for (const QJsonValue& v : table) {
            const QJsonObject s = v.toObject();
            out() << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8\n")
                         .arg(s.value(QStringLiteral("index")).toInt(), -5)
                         .arg(s.value(QStringLiteral("start")).toString(), -25)
                         .arg(QStringLiteral("%1-%2")
                                  .arg(s.value(QStringLiteral("start_page")).toInteger())
                                  .arg(s.value(QStringLiteral("end_page")).toInteger()),
                              -18)
                         .arg(s.value(QStringLiteral("page_count")).toInteger(), -6)
                         .arg(s.value(QStringLiteral("user")).toInteger(), -10)
                         .arg(s.value(QStringLiteral("firmware")).toString(), -8)
                         .arg(s.value(QStringLiteral("corrupted")).toBool()
                                  ? QString::number(s.value(QStringLiteral("corruption_status")).toInt())
                                  : QStringLiteral("no"),
                              -9)
                         .arg(s.value(QStringLiteral("crc")).toString());
        }
    }
    out().flush();
    return Ok;
}

int dump(const QStringList& args, const QString& socket, double wait) {
    Command c(QStringLiteral("dump"),
              QStringLiteral("Write the raw bytes of a session's pages (page order, 512 bytes each)."),
              QStringLiteral("SERIAL INDEX"));
    c.option(QStringLiteral("hex"), QStringLiteral("write hexadecimal text, one page per line"));
    c.option(QStringLiteral("o,output"), QStringLiteral("write to this file instead of stdout"),
             QStringLiteral("file"));
    if (!c.parse(args, 2))
        return c.exitCode;
    const std::optional<qint64> index = parseNumber(c.arg(1), 0, 1000000);
    if (!index)
        return usageError(QStringLiteral("INDEX must be a session index"));
    QFile file;
    const bool toFile = c.isSet("output");
    if (toFile) {
        file.setFileName(c.value("output"));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return usageError(QStringLiteral("cannot write %1").arg(c.value("output")));
    } else if (!file.open(stdout, QIODevice::WriteOnly)) {
        return usageError(QStringLiteral("cannot write to stdout"));
    }
    const bool hex = c.isSet("hex");
    int exitCode = Ok;
    call(socket, wait,
         {{QStringLiteral("cmd"), QStringLiteral("dump")},
          {QStringLiteral("serial"), c.arg(0)},
          {QStringLiteral("index"), double(*index)}},
         &exitCode, [&](const QByteArray& chunk) {
             if (!hex) {
                 file.write(chunk);
                 return;
             }
             for (qsizetype p = 0; p < chunk.size(); p += 512)
                 file.write(chunk.mid(p, 512).toHex() + '\n');
         });
    file.close();
    return exitCode;
}

int makeFirmware(const QStringList& args) {
    Command c(QStringLiteral("make-firmware"),
              QStringLiteral("Write a firmware image (.hff) with a deterministic payload."));
    c.option(QStringLiteral("version"), QStringLiteral("firmware version MAJOR.MINOR.PATCH"),
             QStringLiteral("x.y.z"));
    c.option(QStringLiteral("size"), QStringLiteral("payload bytes (default 24576)"), QStringLiteral("n"));
    c.option(QStringLiteral("o,output"), QStringLiteral("the file to write"), QStringLiteral("file"));
    if (!c.parse(args, 0))
        return c.exitCode;
    const std::optional<quint32> version = SimVirtualDevice::firmwareFromText(c.value("version"));
    if (!version)
        return usageError(QStringLiteral("--version needs MAJOR.MINOR.PATCH"));
    const std::optional<qint64> size =
        c.isSet("size") ? parseNumber(c.value("size"), 1, 1024 * 1024) : std::optional<qint64>(24576);
    if (!size)
        return usageError(QStringLiteral("--size needs 1 to 1048576 bytes"));
    if (!c.isSet("output"))
        return usageError(QStringLiteral("make-firmware needs --output FILE"));
    const SimFirmwareImage image = SimFirmwareImage::generate(
        *version & 0xFF, (*version >> 8) & 0xFF, (*version >> 16) & 0xFF, static_cast<int>(*size));
    QSaveFile file(c.value("output"));
    if (!file.open(QIODevice::WriteOnly) || file.write(image.build()) < 0 || !file.commit())
        return usageError(QStringLiteral("cannot write %1").arg(c.value("output")));
    return Ok;
}
} // namespace

int SimCli::run(const QStringList& arguments) {
    QStringList args = arguments.mid(1);
    QString socket = OrvaneSocketTransport::defaultSocketPath();
    double wait = 0;
    while (!args.isEmpty() && args.first().startsWith(QLatin1String("--"))) {
        const QString option = args.takeFirst();
        if (option == QLatin1String("--help") || option == QLatin1String("-h")) {
            out() << kGeneralHelp;
            out().flush();
            return Ok;
        }
        if ((option == QLatin1String("--socket") || option == QLatin1String("--wait")) && args.isEmpty())
            return usageError(QStringLiteral("%1 needs a value").arg(option));
        if (option == QLatin1String("--socket")) {
            socket = args.takeFirst();
        } else if (option == QLatin1String("--wait")) {
            bool ok = false;
            wait = args.takeFirst().toDouble(&ok);
            if (!ok || wait < 0 || wait > 3600)
                return usageError(QStringLiteral("--wait needs seconds from 0 to 3600"));
        } else {
            return usageError(QStringLiteral("unknown option %1").arg(option));
        }
    }
    if (args.isEmpty()) {
        err() << kGeneralHelp;
        err().flush();
        return Usage;
    }
    const QString command = args.takeFirst();
    if (command == QLatin1String("help") || command == QLatin1String("-h")) {
        out() << kGeneralHelp;
        out().flush();
        return Ok;
    }
    if (command == QLatin1String("serve"))
        return serve(args, socket);
    if (command == QLatin1String("plug"))
        return plug(args, socket, wait);
    if (command == QLatin1String("unplug"))
        return serialCommand(command, QStringLiteral("Unplug a device; it keeps its recordings."), args,
                             socket, wait);
    if (command == QLatin1String("replug"))
        return serialCommand(command, QStringLiteral("Unplug a device and plug it in again."), args, socket,
                             wait);
    if (command == QLatin1String("recovery"))
        return serialCommand(command,
                             QStringLiteral("Restart a device in recovery mode at its USB location."), args,
                             socket, wait);
    if (command == QLatin1String("clear-faults"))
        return serialCommand(command, QStringLiteral("Remove every fault of a device."), args, socket, wait);
    if (command == QLatin1String("add-hid"))
        return addHid(args, socket, wait);
    if (command == QLatin1String("battery"))
        return battery(args, socket, wait);
    if (command == QLatin1String("fault"))
        return fault(args, socket, wait);
    if (command == QLatin1String("link"))
        return link(args, socket, wait);
    if (command == QLatin1String("list"))
        return list(args, socket, wait);
    if (command == QLatin1String("sessions"))
        return sessions(args, socket, wait);
    if (command == QLatin1String("dump"))
        return dump(args, socket, wait);
    if (command == QLatin1String("make-firmware"))
        return makeFirmware(args);
    if (command == QLatin1String("ping")) {
        Command c(QStringLiteral("ping"),
                  QStringLiteral("Succeed when a daemon answers (use --wait to wait for one)."));
        if (!c.parse(args, 0))
            return c.exitCode;
        int exitCode = Ok;
        call(socket, wait, {{QStringLiteral("cmd"), QStringLiteral("ping")}}, &exitCode);
        return exitCode;
    }
    return usageError(QStringLiteral("unknown command '%1'").arg(command));
}
