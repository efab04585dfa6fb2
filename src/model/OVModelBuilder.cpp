#include "OVModelBuilder.h"

#include "OVException.h"
#include "OVHelper.h"

#include <QDate>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QTime>

#include <algorithm>
#include <cmath>

namespace {

QString typeName(const QJsonValue& value) {
    switch (value.type()) {
    case QJsonValue::Null:
        return QStringLiteral("null");
    case QJsonValue::Bool:
        return QStringLiteral("a boolean");
    case QJsonValue::Double:
        return QStringLiteral("a number");
    case QJsonValue::String:
        return QStringLiteral("text");
    case QJsonValue::Array:
        return QStringLiteral("an array");
    case QJsonValue::Object:
        return QStringLiteral("an object");
    case QJsonValue::Undefined:
        break;
    }
    return QStringLiteral("nothing");
}

/** A value JSON cannot hold (NaN, infinity): reported as a serialisation error, not as a missing value. */
class JsonWriteError : public OVException {
public:
    using OVException::OVException;
};

[[noreturn]] void throwUnexpected(const QString& key, const char* expected, const QJsonValue& value) {
    throw OVException(QStringLiteral("Unexpected JSON value for \"%1\": expected %2, got %3")
                          .arg(key, QLatin1String(expected), typeName(value)));
}

QJsonObject objectOf(const QJsonValue& value, const QString& what) {
    if (!value.isObject())
        throwUnexpected(what, "an object", value);
    return value.toObject();
}

std::optional<QString> textFor(const QJsonObject& object, const QString& key) {
    const QJsonValue value = object.value(key);
    if (value.isUndefined())
        return std::nullopt;
    if (!value.isString())
        throwUnexpected(key, "text", value);
    return value.toString();
}

std::optional<QString> nullableTextFor(const QJsonObject& object, const QString& key) {
    return object.value(key).isNull() ? std::nullopt : textFor(object, key);
}

std::optional<double> realFor(const QJsonObject& object, const QString& key) {
    const QJsonValue value = object.value(key);
    if (value.isUndefined())
        return std::nullopt;
    if (!value.isDouble())
        throwUnexpected(key, "a number", value);
    return value.toDouble();
}

std::optional<double> nullableRealFor(const QJsonObject& object, const QString& key) {
    return object.value(key).isNull() ? std::nullopt : realFor(object, key);
}

std::optional<qint64> integerFor(const QJsonObject& object, const QString& key) {
    const std::optional<double> real = realFor(object, key);
    if (!real)
        return std::nullopt;
    // 2^63 is exactly representable; anything at or beyond it does not fit.
    if (!std::isfinite(*real) || std::fabs(*real) >= 9223372036854775808.0)
        throwUnexpected(key, "a number that fits 64 bits", object.value(key));
    return static_cast<qint64>(*real);
}

// [[first, last], …]: each pair two integers.
std::optional<QList<QPair<qint64, qint64>>> rangesFor(const QJsonObject& object, const QString& key) {
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    if (!value.isArray())
        throwUnexpected(key, "an array", value);
    QList<QPair<qint64, qint64>> ranges;
    for (const QJsonValue& item : value.toArray()) {
        const QJsonArray pair = item.toArray();
        if (!item.isArray() || pair.size() != 2)
            throwUnexpected(key, "[first, last] pairs", item);
        const QJsonObject bounds{{QStringLiteral("first"), pair.at(0)}, {QStringLiteral("last"), pair.at(1)}};
        const std::optional<qint64> first = integerFor(bounds, QStringLiteral("first"));
        const std::optional<qint64> last = integerFor(bounds, QStringLiteral("last"));
        ranges.append({*first, *last});
    }
    return ranges;
}

template <typename T> const T& required(const std::optional<T>& field, const char* key) {
    if (!field)
        throw OVException(
            QStringLiteral("No value for the required JSON key \"%1\"").arg(QLatin1String(key)));
    return *field;
}

QJsonValue finiteNumber(double value, const char* key) {
    if (!std::isfinite(value))
        throw JsonWriteError(
            QStringLiteral("Invalid number value for \"%1\" in JSON write").arg(QLatin1String(key)));
    return QJsonValue(value);
}

// Top-level fragments ("5", "\"text\"") are allowed; QJsonDocument takes only objects and arrays, so
// the bytes are read as the single element of an array.
std::optional<QJsonValue> parse(const QByteArray& json, OVError* error) {
    QByteArray wrapped;
    wrapped.reserve(json.size() + 2);
    wrapped.append('[').append(json).append(']');
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(wrapped, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        const qsizetype offset = std::clamp<qsizetype>(parseError.offset - 1, 0, json.size());
        OVError::set(error,
                     OVError(OVModelBuilder::jsonErrorDomain(), parseError.error,
                             QStringLiteral("%1 at offset %2").arg(parseError.errorString()).arg(offset)));
        return std::nullopt;
    }
    const QJsonArray array = document.array();
    if (array.size() != 1) {
        OVError::set(error,
                     OVError(OVModelBuilder::jsonErrorDomain(),
                             array.isEmpty() ? QJsonParseError::IllegalValue : QJsonParseError::GarbageAtEnd,
                             array.isEmpty() ? QStringLiteral("No JSON value")
                                             : QStringLiteral("More than one JSON value")));
        return std::nullopt;
    }
    return array.first();
}

template <typename Fill> std::optional<QString> serialise(OVError* error, Fill fill) {
    try {
        return QString::fromUtf8(QJsonDocument(fill()).toJson(QJsonDocument::Compact));
    } catch (const JsonWriteError& e) {
        OVError::set(error, OVError(OVModelBuilder::jsonErrorDomain(), QJsonParseError::IllegalNumber,
                                    e.description()));
        return std::nullopt;
    }
}

template <typename T, typename Build>
std::optional<QList<T>> listFromJson(const QByteArray& json, OVError* error, Build build) {
    const std::optional<QJsonValue> value = parse(json, error);
    if (!value)
        return std::nullopt;
    const QJsonValue objects =
        objectOf(*value, QStringLiteral("(list answer)")).value(QLatin1String("objects"));
    QList<T> list;
    if (objects.isUndefined())
        return list;
    if (!objects.isArray())
        throwUnexpected(QStringLiteral("objects"), "an array", objects);
    const QJsonArray array = objects.toArray();
    list.reserve(array.size());
    for (const QJsonValue& element : array)
        list.append(build(element));
    return list;
}

template <typename Build>
auto oneFromJson(const QByteArray& json, OVError* error, Build build)
    -> std::optional<decltype(build(QJsonValue()))> {
    const std::optional<QJsonValue> value = parse(json, error);
    if (!value)
        return std::nullopt;
    return build(*value);
}

OVUser userOrEmpty(const QJsonObject& object, const QString& key) {
    const QJsonValue value = object.value(key);
    return value.isUndefined() ? OVUser() : OVModelBuilder::buildUserFromJsonDic(value);
}

QJsonObject jsonDicFromUser(const OVUser& user) {
    QJsonObject object;
    object.insert(QLatin1String("last_name"), required(user.lastName, "last_name"));
    object.insert(QLatin1String("first_name"), required(user.firstName, "first_name"));
    object.insert(QLatin1String("resource_uri"), required(user.uri, "resource_uri"));
    if (user.identifier) {
        object.insert(QLatin1String("id"), *user.identifier);
        object.insert(QLatin1String("username"), required(user.username, "username"));
        object.insert(QLatin1String("email"), required(user.email, "email"));
    }
    if (user.profile)
        object.insert(QLatin1String("profile"), OVModelBuilder::buildJsonDicFromProfile(*user.profile));
    return object;
}

QJsonObject jsonDicFromRecord(const OVRecord& record) {
    QJsonObject object;
    object.insert(QLatin1String("data"), QString::fromLatin1(record.data.value_or(QByteArray()).toBase64()));
    object.insert(QLatin1String("dev_id"), required(record.dev_id, "dev_id"));
    object.insert(QLatin1String("device"), required(record.device, "device"));
    object.insert(
        QLatin1String("end"),
        finiteNumber(OVHelper::convertDateToOrvatimestamp(required(record.endTimestamp, "end")), "end"));
    object.insert(QLatin1String("firmware_rev"), required(record.firmware_rev, "firmware_rev"));
    object.insert(QLatin1String("npages"), required(record.npages, "npages"));
    object.insert(QLatin1String("soft_protocole"), required(record.soft_protocole, "soft_protocole"));
    object.insert(QLatin1String("soft_uid"), required(record.soft_uid, "soft_uid"));
    object.insert(QLatin1String("start"),
                  finiteNumber(OVHelper::convertDateToOrvatimestamp(required(record.startTimestamp, "start")),
                               "start"));
    const std::optional<QString> user = record.user ? record.user->uri : record.userUri;
    object.insert(QLatin1String("user"), required(user, "user"));
    return object;
}

const QString kDateOfBirthFormat = QStringLiteral("yyyy-MM-dd");

} // namespace

QString OVModelBuilder::jsonErrorDomain() {
    return QStringLiteral("QJsonParseError");
}

std::optional<OVGetMetaData> OVModelBuilder::buildMetaDataFromJson(const QByteArray& json, OVError* error) {
    return oneFromJson(json, error, [](const QJsonValue& value) {
        const QJsonValue metaValue =
            objectOf(value, QStringLiteral("(list answer)")).value(QLatin1String("meta"));
        OVGetMetaData meta;
        if (metaValue.isUndefined())
            return meta;
        const QJsonObject object = objectOf(metaValue, QStringLiteral("meta"));
        meta.limit = integerFor(object, QStringLiteral("limit"));
        meta.next = nullableTextFor(object, QStringLiteral("next"));
        meta.offset = integerFor(object, QStringLiteral("offset"));
        meta.previous = nullableTextFor(object, QStringLiteral("previous"));
        meta.totalCount = integerFor(object, QStringLiteral("total_count"));
        return meta;
    });
}

std::optional<QList<OVUser>> OVModelBuilder::buildUsersFromJson(const QByteArray& json, OVError* error) {
    return listFromJson<OVUser>(json, error, &OVModelBuilder::buildUserFromJsonDic);
}

std::optional<OVUser> OVModelBuilder::buildUserFromJson(const QByteArray& json, OVError* error) {
    return oneFromJson(json, error, &OVModelBuilder::buildUserFromJsonDic);
}

OVUser OVModelBuilder::buildUserFromJsonDic(const QJsonValue& dic) {
    const QJsonObject object = objectOf(dic, QStringLiteral("user"));
    OVUser user;
    user.identifier = integerFor(object, QStringLiteral("id"));
    user.firstName = textFor(object, QStringLiteral("first_name"));
    user.lastName = textFor(object, QStringLiteral("last_name"));
    // The e-mail shown and stored is the user name: the "email" key is not read.
    user.username = textFor(object, QStringLiteral("username"));
    user.email = user.username;
    user.uri = textFor(object, QStringLiteral("resource_uri"));
    user.profile = buildProfile(object.value(QLatin1String("profile")));
    return user;
}

std::optional<QString> OVModelBuilder::buildJsonFromUser(const OVUser& user, OVError* error) {
    return serialise(error, [&] { return jsonDicFromUser(user); });
}

std::optional<QList<OVTeam>> OVModelBuilder::buildTeamsFromJson(const QByteArray& json, OVError* error) {
    return listFromJson<OVTeam>(json, error, &OVModelBuilder::buildTeamFromJsonDic);
}

OVTeam OVModelBuilder::buildTeamFromJsonDic(const QJsonValue& dic) {
    const QJsonObject object = objectOf(dic, QStringLiteral("team"));
    OVTeam team;
    team.name = textFor(object, QStringLiteral("name"));
    const QJsonValue members = object.value(QLatin1String("members"));
    if (members.isUndefined())
        return team;
    if (!members.isArray())
        throwUnexpected(QStringLiteral("members"), "an array", members);
    for (const QJsonValue& member : members.toArray())
        team.members.append(buildUserFromJsonDic(member));
    return team;
}

std::optional<OVProfile> OVModelBuilder::buildProfileFromJson(const QByteArray& json, OVError* error) {
    return oneFromJson(json, error, &OVModelBuilder::buildProfileFromJsonDic);
}

std::optional<OVProfile> OVModelBuilder::buildProfile(const QJsonValue& value) {
    if (value.isObject())
        return buildProfileFromJsonDic(value);
    if (value.isString()) {
        OVProfile profile;
        profile.uri = value.toString();
        return profile;
    }
    return std::nullopt;
}

OVProfile OVModelBuilder::buildProfileFromJsonDic(const QJsonValue& dic) {
    const QJsonObject object = objectOf(dic, QStringLiteral("profile"));
    OVProfile profile;
    if (const std::optional<QString> birth = nullableTextFor(object, QStringLiteral("date_of_birth"))) {
        const QDate date = QDate::fromString(*birth, kDateOfBirthFormat);
        if (date.isValid())
            profile.dateOfBirth = OVDate::fromDateTime(QDateTime(date, QTime(0, 0), Qt::LocalTime));
    }
    // A missing key reads as female, an empty text as male: the server always sends "M" or "F".
    const std::optional<QString> gender = textFor(object, QStringLiteral("gender"));
    profile.gender = (gender && (gender->isEmpty() || *gender == QLatin1String("M"))) ? 0 : 1;
    profile.uri = textFor(object, QStringLiteral("resource_uri"));
    profile.height = nullableRealFor(object, QStringLiteral("height"));
    profile.weight = nullableRealFor(object, QStringLiteral("weight"));
    return profile;
}

QJsonObject OVModelBuilder::buildJsonDicFromProfile(const OVProfile& profile) {
    QJsonObject object;
    if (profile.dateOfBirth)
        object.insert(QLatin1String("date_of_birth"),
                      profile.dateOfBirth->toDateTime().toLocalTime().toString(kDateOfBirthFormat));
    object.insert(QLatin1String("gender"), profile.gender != 0 ? QStringLiteral("F") : QStringLiteral("M"));
    if (profile.height)
        object.insert(QLatin1String("height"), finiteNumber(*profile.height, "height"));
    object.insert(QLatin1String("resource_uri"), required(profile.uri, "resource_uri"));
    if (profile.weight)
        object.insert(QLatin1String("weight"), finiteNumber(*profile.weight, "weight"));
    return object;
}

std::optional<QList<OVRecord>> OVModelBuilder::buildRecordsFromJson(const QByteArray& json, OVError* error) {
    return listFromJson<OVRecord>(json, error, &OVModelBuilder::buildRecordFromJsonDic);
}

std::optional<OVRecord> OVModelBuilder::buildRecordFromJson(const QByteArray& json, OVError* error) {
    return oneFromJson(json, error, &OVModelBuilder::buildRecordFromJsonDic);
}

OVRecord OVModelBuilder::buildRecordFromJsonDic(const QJsonValue& dic) {
    const QJsonObject object = objectOf(dic, QStringLiteral("record"));
    OVRecord record;
    if (const std::optional<QString> data = textFor(object, QStringLiteral("data")))
        record.data = data->toUtf8();
    record.dev_id = textFor(object, QStringLiteral("dev_id"));
    record.device = textFor(object, QStringLiteral("device"));
    record.endTimestamp =
        OVHelper::convertOrvatimestampToDate(realFor(object, QStringLiteral("end")).value_or(0.0));
    record.firmware_rev = textFor(object, QStringLiteral("firmware_rev"));
    record.identifier = integerFor(object, QStringLiteral("id"));
    record.n_uploaded_timelines = integerFor(object, QStringLiteral("n_uploaded_timelines"));
    record.npages = integerFor(object, QStringLiteral("npages"));
    record.resource_uri = textFor(object, QStringLiteral("resource_uri"));
    record.soft_protocole = integerFor(object, QStringLiteral("soft_protocole"));
    record.soft_uid = textFor(object, QStringLiteral("soft_uid"));
    record.startTimestamp =
        OVHelper::convertOrvatimestampToDate(realFor(object, QStringLiteral("start")).value_or(0.0));
    record.user = userOrEmpty(object, QStringLiteral("user"));
    record.userUri = record.user->uri;

    const QJsonValue status = object.value(QLatin1String("status"));
    if (status == QJsonValue(QLatin1String("complete")))
        record.status = OVRecordStatusComplete;
    else if (status == QJsonValue(QLatin1String("deleted")))
        record.status = OVRecordStatusDeleted;
    else
        record.status = OVRecordStatusIncomplete;

    // Only an incomplete record reports how much of its timeline the server holds.
    const QJsonValue dataStatus = object.value(QLatin1String("data_status"));
    if (record.status == OVRecordStatusIncomplete && dataStatus.isObject()) {
        const QJsonValue timeline = dataStatus.toObject().value(QLatin1String("timeline"));
        if (!timeline.isUndefined()) {
            const QJsonObject held = objectOf(timeline, QStringLiteral("timeline"));
            record.timelineSize = integerFor(held, QStringLiteral("size"));
            record.timelineTotal = integerFor(held, QStringLiteral("total"));
            record.timelineRanges = rangesFor(held, QStringLiteral("ranges"));
        }
    }
    return record;
}

std::optional<QString> OVModelBuilder::buildJsonFromRecord(const OVRecord& record, OVError* error) {
    return serialise(error, [&] { return jsonDicFromRecord(record); });
}

std::optional<QList<OVBundlePermission>>
OVModelBuilder::buildBundlePermissionsFromJson(const QByteArray& json, OVError* error) {
    return listFromJson<OVBundlePermission>(json, error, [](const QJsonValue& value) {
        return OVModelBuilder::buildBundlePermissionFromJson(value);
    });
}

std::optional<OVBundlePermission> OVModelBuilder::buildBundlePermissionFromJson(const QByteArray& json,
                                                                                OVError* error) {
    return oneFromJson(json, error, [](const QJsonValue& value) {
        return OVModelBuilder::buildBundlePermissionFromJson(value);
    });
}

OVBundlePermission OVModelBuilder::buildBundlePermissionFromJson(const QJsonValue& dic) {
    const QJsonObject object = objectOf(dic, QStringLiteral("bundle permission"));
    OVBundlePermission permission;
    permission.bundle = textFor(object, QStringLiteral("bundle"));
    permission.name = textFor(object, QStringLiteral("name"));
    permission.uri = textFor(object, QStringLiteral("resource_uri"));
    permission.user_allowed = userOrEmpty(object, QStringLiteral("user_allowed"));
    permission.user_target = userOrEmpty(object, QStringLiteral("user_target"));
    return permission;
}
