#pragma once

#include "OVProfile.h"

#include <QString>

#include <optional>

/** A user of the web API. A plain value: copy it freely between threads. */
class OVUser {
public:
    std::optional<qint64> identifier;
    std::optional<QString> email;
    std::optional<QString> firstName;
    std::optional<QString> lastName;
    std::optional<QString> username;
    /** The user's resource URI, "/api/user/<id>/". */
    std::optional<QString> uri;
    std::optional<OVProfile> profile;

    /** "id:%@, username:%@, uri:%@". */
    QString description() const;
};
