#pragma once

#include "OVUser.h"

#include <QList>
#include <QString>

#include <optional>

/** A team of users. A plain value. */
class OVTeam {
public:
    std::optional<QString> name;
    QList<OVUser> members;

    /** "name:%@, members:%i". */
    QString description() const;
};
