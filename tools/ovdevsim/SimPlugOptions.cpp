#include "SimPlugOptions.h"

#include "OVDate.h"
#include "OrvaneDate.h"
#include "SimSessionContent.h"
#include "SimVirtualDevice.h"

#include <QJsonArray>
#include <QRegularExpression>

namespace {
bool fail(QString* error, const QString& text) {
    if (error)
        *error = text;
    return false;
}

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

QJsonObject SimPlugOptions::toJson() const {
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

std::optional<SimPlugOptions> SimPlugOptions::fromJson(const QJsonObject& json, QString* error) {
    auto failWith = [error](const QString& text) {
        fail(error, text);
        return std::optional<SimPlugOptions>();
    };
    SimPlugOptions o;
    o.serial = json.value(QStringLiteral("serial")).toString();
    o.sessions = json.value(QStringLiteral("sessions")).toInt(o.sessions);
    if (!readCounts(json.value(QStringLiteral("pages")), o.pages, kMinPages, "pages", error) ||
        !readCounts(json.value(QStringLiteral("users")), o.users, 0, "users", error))
        return std::nullopt;
    o.firmware = json.value(QStringLiteral("firmware")).toString(o.firmware);
    o.battery = json.value(QStringLiteral("battery")).toInt(o.battery);
    if (!readLocation(json, &o.location, error))
        return std::nullopt;
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
    if (!o.validate(error))
        return std::nullopt;
    return o;
}

bool SimPlugOptions::readLocation(const QJsonObject& json, std::optional<quint32>* location, QString* error) {
    if (!json.contains(QStringLiteral("location")))
        return true;
    const double l = json.value(QStringLiteral("location")).toDouble(-1);
    if (l < 1 || l > 4294967295.0)
        return fail(error, QStringLiteral("location must be from 1 to 0xFFFFFFFF"));
    *location = static_cast<quint32>(l);
    return true;
}

bool SimPlugOptions::validateBattery(int level, QString* error) {
    if (level < 0 || level > kMaxBattery)
        return fail(error, QStringLiteral("battery must be from 0 to %1").arg(kMaxBattery));
    return true;
}

bool SimPlugOptions::validSerial(const QString& serial) {
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9-]{12,32}$"));
    return pattern.match(serial).hasMatch();
}

bool SimPlugOptions::validate(QString* error) const {
    if (sessions < 0 || sessions > kMaxSessions)
        return fail(error, QStringLiteral("sessions must be from 0 to %1").arg(kMaxSessions));
    if (pages.isEmpty() || users.isEmpty())
        return fail(error, QStringLiteral("pages and users need at least one value"));
    for (quint32 p : pages) {
        if (p > kMaxPages)
            return fail(error, QStringLiteral("pages must be at most %1 per session").arg(kMaxPages));
    }
    if (!validateBattery(battery, error))
        return false;
    if (!serial.isEmpty() && !validSerial(serial))
        return fail(error, QStringLiteral("a serial has 12 to 32 letters, digits or '-'"));
    if (!SimVirtualDevice::firmwareFromText(firmware))
        return fail(error, QStringLiteral("firmware revision '%1' is not MAJOR.MINOR.PATCH").arg(firmware));
    quint64 total = 0;
    for (int i = 0; i < sessions; ++i)
        total += empty.contains(i) ? 0 : pages.at(i % pages.size());
    const quint64 room = SimVirtualDevice::kDefaultFlashPages - SimVirtualDevice::kFirstSessionPage;
    if (total > room)
        return fail(
            error,
            QStringLiteral("%1 pages of sessions do not fit in the flash (%2 pages)").arg(total).arg(room));
    return true;
}

SimVirtualDevice SimPlugOptions::makeDevice(const QString& deviceSerial, quint32 deviceLocation) const {
    SimVirtualDevice d;
    d.serial = deviceSerial;
    if (!model.isEmpty())
        d.model = model;
    if (!hwRevision.isEmpty())
        d.hwRevision = hwRevision;
    d.fwRevision = firmware;
    d.battery = battery;
    d.defaultUser = defaultUser;
    d.location = deviceLocation;
    d.seed = seed.value_or(SimSessionContent::stableHash(d.serial));
    const quint64 dayUnits = 86400ull * 256;
    const quint64 nowSeconds = orvaneTime(OVDate::now()) / 256 * 256;
    const quint64 first = firstStart.value_or(nowSeconds - dayUnits * (sessions + 1));
    for (int i = 0; i < sessions; ++i) {
        const quint32 pageCount = empty.contains(i) ? 0 : pages.at(i % pages.size());
        SimVirtualSession& s = d.addSession(pageCount, users.at(i % users.size()),
                                            first + dayUnits * quint64(i), applicationUID);
        for (const auto& c : corrupted) {
            if (c.first == i) {
                s.corrupted = true;
                s.corruptionStatus = c.second;
            }
        }
    }
    return d;
}
