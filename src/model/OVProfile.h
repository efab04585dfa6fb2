#pragma once

#include "OVDate.h"

#include <QString>

#include <optional>

/** A user's profile as the web API describes it. A plain value: copy it freely between threads. */
class OVProfile {
public:
    std::optional<OVDate> dateOfBirth;
    /** 0 male, 1 female. */
    qint32 gender = 0;
    std::optional<double> weight;
    std::optional<double> height;
    std::optional<QString> uri;

    /** "uri:%@, gender:%i". */
    QString description() const;
};
