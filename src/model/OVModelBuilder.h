#pragma once

#include "OVBundlePermission.h"
#include "OVError.h"
#include "OVGetMetaData.h"
#include "OVProfile.h"
#include "OVRecord.h"
#include "OVTeam.h"
#include "OVUser.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>

#include <optional>

/**
 * Stateless mapper between the web resource records and the web API's JSON. Thread-safe.
 *
 * The operations taking bytes report bytes that are not JSON through the error out-parameter (domain
 * "QJsonParseError") and return none. A valid document holding an unexpected type (an array where an
 * object belongs, null where text belongs), or a record missing a value that its JSON requires, makes
 * the build throw OVException: the resource operations catch it and report it as their own failure.
 */
class OVModelBuilder {
public:
    static QString jsonErrorDomain();

    /** The "meta" object of a list answer. */
    static std::optional<OVGetMetaData> buildMetaDataFromJson(const QByteArray& json, OVError* error);
    static std::optional<QList<OVUser>> buildUsersFromJson(const QByteArray& json, OVError* error);
    static std::optional<OVUser> buildUserFromJson(const QByteArray& json, OVError* error);
    static OVUser buildUserFromJsonDic(const QJsonValue& dic);
    static std::optional<QString> buildJsonFromUser(const OVUser& user, OVError* error);
    static std::optional<QList<OVTeam>> buildTeamsFromJson(const QByteArray& json, OVError* error);
    static OVTeam buildTeamFromJsonDic(const QJsonValue& dic);
    static std::optional<OVProfile> buildProfileFromJson(const QByteArray& json, OVError* error);
    /** The value of a "profile" key: an object gives a full profile, a text a profile of that URI only. */
    static std::optional<OVProfile> buildProfile(const QJsonValue& value);
    static OVProfile buildProfileFromJsonDic(const QJsonValue& dic);
    static QJsonObject buildJsonDicFromProfile(const OVProfile& profile);
    static std::optional<QList<OVRecord>> buildRecordsFromJson(const QByteArray& json, OVError* error);
    static std::optional<OVRecord> buildRecordFromJson(const QByteArray& json, OVError* error);
    static OVRecord buildRecordFromJsonDic(const QJsonValue& dic);
    /** The body that creates a record; "id", "resource_uri", "status" and "n_uploaded_timelines" are never
     * written. */
    static std::optional<QString> buildJsonFromRecord(const OVRecord& record, OVError* error);
    static std::optional<QList<OVBundlePermission>> buildBundlePermissionsFromJson(const QByteArray& json,
                                                                                   OVError* error);
    static std::optional<OVBundlePermission> buildBundlePermissionFromJson(const QByteArray& json,
                                                                           OVError* error);
    static OVBundlePermission buildBundlePermissionFromJson(const QJsonValue& dic);
};
