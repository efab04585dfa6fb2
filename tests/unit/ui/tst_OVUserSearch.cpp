// The assign view's search: substrings of first or last name, whatever the case and the accents.
#include "OVUserSearch.h"

#include <QTest>

namespace {

OVUser user(const QString& first, const QString& last) {
    OVUser u;
    u.firstName = first;
    u.lastName = last;
    return u;
}

const QList<OVUser> kTeam{user(QStringLiteral("Marie"), QStringLiteral("Curie")),
                          user(QStringLiteral("Omar"), QStringLiteral("Sy")),
                          user(QStringLiteral("Jean"), QStringLiteral("MARTIN")),
                          user(QStringLiteral("Márta"), QStringLiteral("Nagy")),
                          user(QStringLiteral("Zoë"), QStringLiteral("Ølund")),
                          user(QStringLiteral("Ada"), QStringLiteral("Lovelace"))};

QStringList firstNames(const QList<OVUser>& users) {
    QStringList names;
    for (const OVUser& u : users)
        names << u.firstName.value_or(QString());
    return names;
}

} // namespace

class tst_OVUserSearch : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void filterMembers_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected");
        const QStringList all = firstNames(kTeam);
        QTest::newRow("empty text keeps everyone in team order") << QString() << all;
        QTest::newRow("lower case finds mixed, upper and accented")
            << QStringLiteral("mar")
            << QStringList{QStringLiteral("Marie"), QStringLiteral("Omar"), QStringLiteral("Jean"),
                           QStringLiteral("Márta")};
        QTest::newRow("accented text finds plain names")
            << QStringLiteral("MÁR")
            << QStringList{QStringLiteral("Marie"), QStringLiteral("Omar"), QStringLiteral("Jean"),
                           QStringLiteral("Márta")};
        QTest::newRow("last name only") << QStringLiteral("curie") << QStringList{QStringLiteral("Marie")};
        QTest::newRow("diaeresis folded") << QStringLiteral("zoe") << QStringList{QStringLiteral("Zoë")};
        QTest::newRow("no match across first and last name")
            << QStringLiteral("jean martin") << QStringList{};
        QTest::newRow("nothing matches") << QStringLiteral("xyz") << QStringList{};
    }
    void filterMembers() {
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        QCOMPARE(firstNames(OVUserSearch::filterMembers(kTeam, text)), expected);
    }

    void userWithoutNamesMatchesOnlyTheEmptyText() {
        const QList<OVUser> nameless{OVUser()};
        QCOMPARE(OVUserSearch::filterMembers(nameless, QString()).size(), 1);
        QVERIFY(OVUserSearch::filterMembers(nameless, QStringLiteral("a")).isEmpty());
    }
};

QTEST_APPLESS_MAIN(tst_OVUserSearch)
#include "tst_OVUserSearch.moc"
