#pragma once
#include "OVUser.h"
#include <QList>
#include <QString>

/**
 * The search of the assign view: a user matches when the text is a substring of the first or the
 * last name, ignoring case and accents ("mar" finds "Márie", "Omar" and "MARTIN").
 */
class OVUserSearch {
public:
    /** The members in their team order; all of them for an empty text. */
    static QList<OVUser> filterMembers(const QList<OVUser>& members, const QString& text);
    static bool matches(const OVUser& user, const QString& text);
    /** Case-folded with the combining marks of the decomposed form removed. */
    static QString fold(const QString& text);
};
