#include "OVUserSearch.h"

QList<OVUser> OVUserSearch::filterMembers(const QList<OVUser>& members, const QString& text) {
    if (text.isEmpty())
        return members;
    QList<OVUser> matching;
    for (const OVUser& user : members) {
        if (matches(user, text))
            matching.append(user);
    }
    return matching;
}

bool OVUserSearch::matches(const OVUser& user, const QString& text) {
    const QString needle = fold(text);
    return fold(user.firstName.value_or(QString())).contains(needle) ||
           fold(user.lastName.value_or(QString())).contains(needle);
}

QString OVUserSearch::fold(const QString& text) {
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString folded;
    folded.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        if (!c.isMark())
            folded.append(c);
    }
    return folded.toCaseFolded();
}
