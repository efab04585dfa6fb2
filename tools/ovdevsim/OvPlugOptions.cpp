#include "OvPlugOptions.h"

#include <QJsonArray>

namespace {
QJsonArray toArray(const QList<quint32>& values) {
    QJsonArray a;
    for (quint32 v : values)
        a.append(qint64(v));
    return a;
}

bool readCounts(const QJsonValue& value, QList<quint32>& out, qint64 min, const char* name, QString* error) {
    if (value.isUndefined())
        return true;
    out.clear();
    for (const QJsonValue& v : value.toArray()) {
        const double d = v.toDouble(-1);
        if (!v.isDouble() || d < min || d > 4294967295.0) {
            if (error)
                *error = QStringLiteral("%1 must be numbers from %2 to 4294967295")
                             .arg(QLatin1String(name))
                             .arg(min);
            return false;
        }
        out.append(static_cast<quint32>(d));
    }
    if (out.isEmpty()) {
        if (error)
            *error = QStringLiteral("%1 needs at least one value").arg(QLatin1String(name));
        return false;
    }
    return true;
}
} // namespace

QJsonObject OvPlugOptions::toJson() const {
    QJsonObject json{{QStringLiteral("sessions"), sessions},
                     {QStringLiteral("pages"), toArray(pages)},
                     {QStringLiteral("users"), toArray(users)},
                     {QStringLiteral("firmware"), firmware},
                     {QStringLiteral("battery"), battery},
                     {QStringLiteral("default_user"), qint64(defaultUser)},
                     {QStringLiteral("application"), applicationUID},
                     {QStringLiteral("reuse"), reuse}};
    if (!serial.isEmpty())
        json.insert(QStringLiteral("serial"), serial);
    if (location)
        json.insert(QStringLiteral("location"), qint64(*location));
    if (!model.isEmpty())
        json.insert(QStringLiteral("model"), model);
    if (!hwRevision.isEmpty())
        json.insert(QStringLiteral("hw_revision"), hwRevision);
    if (seed)
        json.insert(QStringLiteral("seed"), QString::number(*seed));
    if (firstStart)
        json.insert(QStringLiteral("first_start"), QString::number(*firstStart));
    QJsonArray corruptedArray;
    for (const auto& c : corrupted)
        corruptedArray.append(QJsonArray{c.first, c.second});
    json.insert(QStringLiteral("corrupted"), corruptedArray);
    QJsonArray emptyArray;
    for (int e : empty)
        emptyArray.append(e);
    json.insert(QStringLiteral("empty"), emptyArray);
    return json;
}

std::optional<OvPlugOptions> OvPlugOptions::fromJson(const QJsonObject& json, QString* error) {
    auto failWith = [error](const QString& text) {
        if (error)
            *error = text;
        return std::optional<OvPlugOptions>();
    };
    OvPlugOptions o;
    o.serial = json.value(QStringLiteral("serial")).toString();
    o.sessions = json.value(QStringLiteral("sessions")).toInt(o.sessions);
    if (o.sessions < 0 || o.sessions > 1000)
        return failWith(QStringLiteral("sessions must be from 0 to 1000"));
    if (!readCounts(json.value(QStringLiteral("pages")), o.pages, 2, "pages", error) ||
        !readCounts(json.value(QStringLiteral("users")), o.users, 0, "users", error))
        return std::nullopt;
    for (quint32 p : o.pages) {
        if (p > 1000000)
            return failWith(QStringLiteral("pages must be at most 1000000 per session"));
    }
    o.firmware = json.value(QStringLiteral("firmware")).toString(o.firmware);
    o.battery = json.value(QStringLiteral("battery")).toInt(o.battery);
    if (o.battery < 0 || o.battery > 100)
        return failWith(QStringLiteral("battery must be from 0 to 100"));
    if (json.contains(QStringLiteral("location"))) {
        const double l = json.value(QStringLiteral("location")).toDouble(-1);
        if (l < 1 || l > 4294967295.0)
            return failWith(QStringLiteral("location must be from 1 to 0xFFFFFFFF"));
        o.location = static_cast<quint32>(l);
    }
    const double user = json.value(QStringLiteral("default_user")).toDouble(o.defaultUser);
    if (user < 0 || user > 4294967295.0)
        return failWith(QStringLiteral("default user must be from 0 to 4294967295"));
    o.defaultUser = static_cast<quint32>(user);
    o.model = json.value(QStringLiteral("model")).toString();
    o.hwRevision = json.value(QStringLiteral("hw_revision")).toString();
    o.applicationUID = json.value(QStringLiteral("application")).toString(o.applicationUID);
    if (json.contains(QStringLiteral("seed")))
        o.seed = json.value(QStringLiteral("seed")).toString().toULongLong();
    if (json.contains(QStringLiteral("first_start")))
        o.firstStart = json.value(QStringLiteral("first_start")).toString().toULongLong();
    for (const QJsonValue& v : json.value(QStringLiteral("corrupted")).toArray()) {
        const QJsonArray pair = v.toArray();
        if (pair.size() != 2 || pair[0].toInt(-1) < 0)
            return failWith(QStringLiteral("corrupted sessions are given as INDEX:STATUS"));
        o.corrupted.append({pair[0].toInt(), pair[1].toInt()});
    }
    for (const QJsonValue& v : json.value(QStringLiteral("empty")).toArray()) {
        if (v.toInt(-1) < 0)
            return failWith(QStringLiteral("empty sessions are given by index"));
        o.empty.append(v.toInt());
    }
    o.reuse = json.value(QStringLiteral("reuse")).toBool();
    return o;
}
