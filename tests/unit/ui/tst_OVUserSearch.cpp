// The assign view's search: substrings of first or last name, whatever the case and the accents.
#include "OVUserSearch.h"

#include <QTest>

using namespace Qt::StringLiterals;

class tst_OVUserSearch : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void filterMembers_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("empty text keeps everyone in team order")
            << QString()
            << QStringList{u"Marie"_s, u"Omar"_s, u"Jean"_s, u"Márta"_s, u"Zoë"_s, u"Ada"_s, QString()};
        QTest::newRow("any case and accent")
            << u"mar"_s << QStringList{u"Marie"_s, u"Omar"_s, u"Jean"_s, u"Márta"_s};
        QTest::newRow("accented text finds plain names")
            << u"MÁR"_s << QStringList{u"Marie"_s, u"Omar"_s, u"Jean"_s, u"Márta"_s};
        QTest::newRow("last name only") << u"curie"_s << QStringList{u"Marie"_s};
        QTest::newRow("diaeresis") << u"zoe"_s << QStringList{u"Zoë"_s};
        QTest::newRow("not across first and last name") << u"jean martin"_s << QStringList{};
    }
    void filterMembers() {
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        QList<OVUser> team;
        const QStringList names{u"Marie Curie"_s, u"Omar Sy"_s,   u"Jean MARTIN"_s,
                                u"Márta Nagy"_s,  u"Zoë Ølund"_s, u"Ada Lovelace"_s};
        for (const QString& name : names) {
            OVUser user;
            user.firstName = name.section(QLatin1Char(' '), 0, 0);
            user.lastName = name.section(QLatin1Char(' '), 1);
            team << user;
        }
        team << OVUser(); // a user without names matches only the empty text
        QStringList found;
        for (const OVUser& user : OVUserSearch::filterMembers(team, text))
            found << user.firstName.value_or(QString());
        QCOMPARE(found, expected);
    }
};

QTEST_APPLESS_MAIN(tst_OVUserSearch)
#include "tst_OVUserSearch.moc"
