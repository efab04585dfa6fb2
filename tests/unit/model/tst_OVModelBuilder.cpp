#include "OVException.h"
#include "OVModelBuilder.h"
#include "OVSession.h"

#include <QJsonDocument>
#include <QTest>

namespace {

QByteArray listAnswer(const QByteArray& objects) {
    return R"({"meta": {"limit": 500, "next": null, "offset": 1000, "total_count": 1200}, "objects": )" +
           objects + "}";
}

QJsonObject parsed(const QString& json) {
    return QJsonDocument::fromJson(json.toUtf8()).object();
}

const QByteArray kUser = R"({"id": 12, "username": "ada", "email": "other@example.org", "first_name": "Ada",
    "last_name": "L", "resource_uri": "/api/user/12/", "profile": {"date_of_birth": "2001-02-03",
    "gender": "F", "height": 168.5, "weight": null, "resource_uri": "/api/profile/3/"}})";

} // namespace

using Ranges = QList<QPair<qint64, qint64>>;

class tst_OVModelBuilder : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void listAnswers() {
        OVError error;
        QVERIFY(OVModelBuilder::buildRecordsFromJson(listAnswer("[]"), &error)->isEmpty());
        const auto users =
            OVModelBuilder::buildUsersFromJson(listAnswer("[" + kUser + R"(, {"id": 13}])"), &error);
        QCOMPARE(users->size(), 2);
        QCOMPARE(users->at(1).identifier, std::optional<qint64>(13));
        QVERIFY(!users->at(1).username && !users->at(1).profile);
    }

    void unexpectedTypesThrow_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("fragment instead of list") << QByteArray("42");
        QTest::newRow("objects is an object") << QByteArray(R"({"objects": {}})");
        QTest::newRow("null where text") << listAnswer(R"([{"dev_id": null}])");
        QTest::newRow("text where number") << listAnswer(R"([{"npages": "12"}])");
        QTest::newRow("null user") << listAnswer(R"([{"user": null}])");
        QTest::newRow("profile gender number") << listAnswer(R"([{"user": {"profile": {"gender": 1}}}])");
        QTest::newRow("timeline not object")
            << listAnswer(R"([{"status": "x", "data_status": {"timeline": 4}}])");
    }

    void unexpectedTypesThrow() {
        QFETCH(QByteArray, bytes);
        OVError error;
        QVERIFY_THROWS_EXCEPTION(OVException, OVModelBuilder::buildRecordsFromJson(bytes, &error));
    }

    // What the credential store keeps: a user written to JSON reads back the same; a null weight
    // is left out.
    void userRoundTrip() {
        OVError error;
        const OVUser user = *OVModelBuilder::buildUserFromJson(kUser, &error);
        const QString json = *OVModelBuilder::buildJsonFromUser(user, &error);
        // The e-mail read is the user name, not "email".
        QCOMPARE(parsed(json), parsed(QStringLiteral(R"({"email": "ada", "first_name": "Ada", "id": 12,
            "last_name": "L", "resource_uri": "/api/user/12/", "username": "ada", "profile": {"date_of_birth":
            "2001-02-03", "gender": "F", "height": 168.5, "resource_uri": "/api/profile/3/"}})")));
        QCOMPARE(*OVModelBuilder::buildJsonFromUser(*OVModelBuilder::buildUserFromJson(json.toUtf8(), &error),
                                                    &error),
                 json);
        OVUser anonymous = user;
        anonymous.lastName.reset();
        QVERIFY_THROWS_EXCEPTION(OVException, OVModelBuilder::buildJsonFromUser(anonymous, &error));
    }

    void profileValue_data() {
        QTest::addColumn<QString>("profile"); // every profile given names "/p/"
        QTest::addColumn<int>("gender");      // -1: no profile
        QTest::newRow("uri text") << R"("/p/")" << 0;
        QTest::newRow("null") << "null" << -1;
        QTest::newRow("M") << R"({"gender": "M", "resource_uri": "/p/"})" << 0;
        QTest::newRow("empty gender") << R"({"gender": "", "resource_uri": "/p/"})" << 0;
        QTest::newRow("no gender") << R"({"resource_uri": "/p/"})" << 1;
    }

    void profileValue() {
        QFETCH(QString, profile);
        QFETCH(int, gender);
        const auto built = OVModelBuilder::buildProfile(
            parsed(QStringLiteral(R"({"p": %1})").arg(profile)).value(QLatin1String("p")));
        QCOMPARE(built ? built->gender : -1, gender);
        if (built)
            QCOMPARE(built->uri, std::optional(QStringLiteral("/p/")));
    }

    void recordStatusAndTimelineSize_data() {
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("dataStatus");
        QTest::addColumn<int>("expectedStatus");
        QTest::addColumn<qint64>("size"); // -1: absent
        const QString held = QStringLiteral(R"({"timeline": {"size": 1024, "total": 2048}})");
        QTest::newRow("complete ignores size") << R"("complete")" << held << 0 << qint64(-1);
        QTest::newRow("deleted") << R"("deleted")" << held << 2 << qint64(-1);
        QTest::newRow("incomplete") << R"("incomplete")" << held << 1 << qint64(1024);
        QTest::newRow("incomplete, null") << R"("incomplete")"
                                          << "null" << 1 << qint64(-1);
        QTest::newRow("unknown status") << "null" << held << 1 << qint64(1024);
    }

    void recordStatusAndTimelineSize() {
        QFETCH(QString, status);
        QFETCH(QString, dataStatus);
        QFETCH(int, expectedStatus);
        QFETCH(qint64, size);
        OVError error;
        const auto record = OVModelBuilder::buildRecordFromJson(
            QStringLiteral(R"({"status": %1, "data_status": %2})").arg(status, dataStatus).toUtf8(), &error);
        QCOMPARE(int(record->status), expectedStatus);
        QCOMPARE(record->timelineSize, size < 0 ? std::nullopt : std::optional(size));
    }

    // What an incomplete record holds, for an upload to resume: absent ranges mean nothing is known held.
    void recordTimelineRanges_data() {
        QTest::addColumn<QString>("timeline");
        QTest::addColumn<bool>("readable");
        QTest::addColumn<Ranges>("ranges"); // empty: absent
        QTest::newRow("two ranges") << R"({"size": 30, "total": 50, "ranges": [[0, 9], [30, 49]]})" << true
                                    << Ranges{{0, 9}, {30, 49}};
        QTest::newRow("no ranges") << R"({"size": 30, "total": 50})" << true << Ranges();
        QTest::newRow("a pair of one") << R"({"ranges": [[0, 9], [30]]})" << false << Ranges();
        QTest::newRow("text in a pair") << R"({"ranges": [[0, "9"]]})" << false << Ranges();
        QTest::newRow("not a list") << R"({"ranges": {"0": 9}})" << false << Ranges();
    }
    void recordTimelineRanges() {
        QFETCH(QString, timeline);
        QFETCH(bool, readable);
        QFETCH(Ranges, ranges);
        const QByteArray json = QStringLiteral(R"({"status": "incomplete", "data_status": {"timeline": %1}})")
                                    .arg(timeline)
                                    .toUtf8();
        OVError error;
        if (!readable) {
            QVERIFY_THROWS_EXCEPTION(OVException, OVModelBuilder::buildRecordFromJson(json, &error));
            return;
        }
        const auto record = OVModelBuilder::buildRecordFromJson(json, &error);
        QCOMPARE(record->timelineRanges.has_value(), !ranges.isEmpty());
        QCOMPARE(record->timelineRanges.value_or(Ranges()), ranges);
        QCOMPARE(record->timelineTotal, std::optional<qint64>(50));
    }

    // The user's URI comes from the nested user; absent times read as the epoch.
    void recordReading() {
        OVError error;
        const OVRecord record = *OVModelBuilder::buildRecordFromJson(
            R"({"user": {"id": 12, "resource_uri": "/api/user/12/"}})", &error);
        QCOMPARE(record.userUri, std::optional<QString>(QStringLiteral("/api/user/12/")));
        const OVRecord bare = *OVModelBuilder::buildRecordFromJson("{}", &error);
        QCOMPARE(bare.startTimestamp, std::optional(OVDate::fromSecondsSince1970(0)));
        QVERIFY(bare.user && !bare.user->uri && !bare.userUri);
    }

    void recordBodyFromASession() {
        OVSession session;
        session.setStart(OVDate::fromSecondsSince1970(1.0));
        session.setEnd(OVDate::fromSecondsSince1970(3.001));
        session.setUserId(12);
        OVRecord record = OVRecord::buildRecordFromSession(session);
        OVError error;
        const QString json = *OVModelBuilder::buildJsonFromRecord(record, &error);
        // Only what the device knows: the server's own fields are never sent.
        QCOMPARE(parsed(json), parsed(QStringLiteral(
                                   R"({"data": "", "dev_id": "", "device": "/api/device//", "end": 768.256,)"
                                   R"("firmware_rev": "", "npages": 0, "soft_protocole": 0, "soft_uid": "",)"
                                   R"("start": 256, "user": "/api/user/12/"})")));
        QVERIFY(json.contains(QLatin1String("\"start\":256"))); // whole units stay an integer
        record.user = OVUser();
        record.user->uri = QStringLiteral("/api/user/99/"); // the owning user's URI wins over userUri
        QCOMPARE(parsed(*OVModelBuilder::buildJsonFromRecord(record, &error)).value(QLatin1String("user")),
                 QJsonValue(QStringLiteral("/api/user/99/")));
        record.user->uri.reset();
        QVERIFY_THROWS_EXCEPTION(OVException, OVModelBuilder::buildJsonFromRecord(record, &error));
        record.user.reset();
        record.startTimestamp = OVDate::fromSecondsSince1970(qQNaN());
        QVERIFY(!OVModelBuilder::buildJsonFromRecord(record, &error));
        QCOMPARE(error.domain(), OVModelBuilder::jsonErrorDomain());
    }
};

QTEST_GUILESS_MAIN(tst_OVModelBuilder)
#include "tst_OVModelBuilder.moc"
