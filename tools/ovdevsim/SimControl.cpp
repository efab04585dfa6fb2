#include "SimControl.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {
QJsonObject failure(const QString& error) {
    return QJsonObject{{QStringLiteral("ok"), false}, {QStringLiteral("error"), error}};
}

QJsonObject success(QJsonObject fields = {}) {
    fields.insert(QStringLiteral("ok"), true);
    return fields;
}
} // namespace

QJsonObject SimControl::handle(SimDeviceHub& hub, const QByteArray& request,
                               const std::function<bool(const QByteArray&)>& data) {
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(request, &parseError);
    if (!doc.isObject())
        return failure(
            QStringLiteral("control request is not a JSON object: %1").arg(parseError.errorString()));
    const QJsonObject json = doc.object();
    const QString cmd = json.value(QStringLiteral("cmd")).toString();
    const QString serial = json.value(QStringLiteral("serial")).toString();
    QString error;

    if (cmd == QLatin1String("ping"))
        return success();
    if (cmd == QLatin1String("list"))
        return success({{QStringLiteral("devices"), hub.list()}});
    if (cmd == QLatin1String("plug")) {
        const std::optional<SimPlugOptions> options = SimPlugOptions::fromJson(json, &error);
        if (!options)
            return failure(error);
        const std::optional<QString> made = hub.plug(*options, &error);
        return made ? success({{QStringLiteral("serial"), *made}}) : failure(error);
    }
    if (cmd == QLatin1String("add-hid")) {
        std::optional<quint32> location;
        if (!SimPlugOptions::readLocation(json, &location, &error))
            return failure(error);
        const std::optional<QString> made = hub.addHid(location, &error);
        return made ? success({{QStringLiteral("serial"), *made}}) : failure(error);
    }
    if (cmd == QLatin1String("link")) {
        const std::optional<SimLinkModel> link = SimLinkModel::fromJson(json, hub.linkModel(), &error);
        if (!link)
            return failure(error);
        hub.setLinkModel(*link);
        return success({{QStringLiteral("link"), link->toJson()}});
    }
    if (serial.isEmpty())
        return cmd.isEmpty() ? failure(QStringLiteral("no command"))
                             : failure(QStringLiteral("%1 needs a serial").arg(cmd));

    bool ok = false;
    if (cmd == QLatin1String("unplug")) {
        ok = hub.unplug(serial, &error);
    } else if (cmd == QLatin1String("replug")) {
        ok = hub.replug(serial, &error);
    } else if (cmd == QLatin1String("recovery")) {
        ok = hub.recovery(serial, &error);
    } else if (cmd == QLatin1String("battery")) {
        const QJsonValue level = json.value(QStringLiteral("level"));
        ok = level.isDouble() ? hub.setBattery(serial, level.toInt(-1), &error)
                              : (error = QStringLiteral("battery needs a level from 0 to 100"), false);
    } else if (cmd == QLatin1String("fault")) {
        const std::optional<SimFault> fault =
            SimFault::fromJson(json.value(QStringLiteral("fault")).toObject(), &error);
        ok = fault && hub.addFault(serial, *fault, &error);
    } else if (cmd == QLatin1String("clear-faults")) {
        ok = hub.clearFaults(serial, &error);
    } else if (cmd == QLatin1String("sessions")) {
        const std::optional<QJsonArray> sessions = hub.sessions(serial, &error);
        return sessions ? success({{QStringLiteral("sessions"), *sessions}}) : failure(error);
    } else if (cmd == QLatin1String("dump")) {
        const QJsonValue index = json.value(QStringLiteral("index"));
        if (!index.isDouble())
            return failure(QStringLiteral("dump needs a session index"));
        qint64 bytes = 0;
        ok = hub.dump(
            serial, index.toInt(-1),
            [&](const QByteArray& chunk) {
                bytes += chunk.size();
                return data(chunk);
            },
            &error);
        return ok ? success({{QStringLiteral("bytes"), bytes}}) : failure(error);
    } else {
        return failure(QStringLiteral("unknown command '%1'").arg(cmd));
    }
    return ok ? success() : failure(error);
}
