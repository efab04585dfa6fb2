#pragma once

#include "OVUser.h"

#include <QString>

#include <optional>

/** Permission of one user (user_allowed) to see another's data (user_target) within a bundle. */
class OVBundlePermission {
public:
    /** URI of the bundle. */
    std::optional<QString> bundle;
    std::optional<QString> name;
    std::optional<QString> uri;
    std::optional<OVUser> user_allowed;
    std::optional<OVUser> user_target;

    /** "uri:%@, allowed:%@, target:%@" with the two users' URIs. */
    QString description() const;
};
