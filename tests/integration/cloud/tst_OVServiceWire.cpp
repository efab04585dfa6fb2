// The web API client's requests as a server receives them, byte for byte, and its handling of the
// answers: against the capture server of the test fixtures.
#include "CallOutcome.h"
#include "OVCaptureServer.h"
#include "OVConfiguration.h"
#include "OVCredentialManager.h"
#include "OVModelBuilder.h"
#include "OVPreferencesManager.h"
#include "OVService.h"
#include "OVSession.h"
#include "OVTestCapture.h"
#include "SUUpdater.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The network clock's "Date" of wire_scenarios.json.
const char kNetworkTimestamp[] = "784111777";

/** Scenario (first path segment) -> resource path -> answer; the signed-in user is 100. */
QJsonObject scenarios() {
    QFile file(QStringLiteral(OV_SOURCE_DIR "/tests/integration/cloud/wire_scenarios.json"));
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
}
const QByteArray kStoredAuthorization = "Basic " + QByteArray("coach:pass w\xc3\xb6rd:1").toBase64();

/** "Name: value" of the headers the client sets, in the order it set them, wherever Qt puts its own. */
QStringList ourHeaders(const OVCaptureServer::Request& request) {
    QStringList ours;
    for (const auto& [name, value] : request.headers)
        if (name.startsWith(QLatin1String("X-ORVA")) ||
            QStringList{QStringLiteral("Authorization"), QStringLiteral("Content-Type"),
                        QStringLiteral("Accept")}
                .contains(name))
            ours << name + QLatin1String(": ") + value;
    return ours;
}

OVRecord sessionRecord() {
    OVSession session;
    session.setStart(OVDate::fromSecondsSince1970(10));
    session.setDeviceSerial(QStringLiteral("SN0001"));
    session.setUserId(101);
    session.setData(QByteArray("\x00\x01\x02", 3));
    return OVRecord::buildRecordFromSession(session);
}

} // namespace

class tst_OVServiceWire : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        qputenv("HOME", QFile::encodeName(m_home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.filePath(QStringLiteral("config"))));
        QString error;
        QVERIFY2(m_capture.start(&error), qPrintable(error));
        OVUser coach;
        coach.identifier = 100;
        coach.username = coach.email = QStringLiteral("coach");
        coach.firstName = coach.lastName = QString();
        coach.uri = QStringLiteral("/api/user/100/");
        m_credentials.saveCredential(coach, QStringLiteral("pass wörd:1"));
    }

    void init() {
        qputenv("OV_NETWORK_TIME_URL", m_capture.url(QStringLiteral("/time/")).toUtf8());
        m_log->take();
        m_capture.takeRequests(1000, 50); // what a failed test left behind
    }

    void requestsOnTheWire_data() {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QStringList>("requests"); // "METHOD target"
        QTest::newRow("teams")
            << "teams"
            << QStringList{QStringLiteral("GET /teams/api/team/?limit=0"),
                           QStringLiteral("GET /teams/api/bundle_permission/?bundle=/api/bundle/1/&limit=0")};
        QTest::newRow("records, empty filter")
            << "records" << QStringList{QStringLiteral("GET /ok/api/record/?")};
        QTest::newRow("record creation")
            << "create" << QStringList{QStringLiteral("POST /create/api/record/")};
        QTest::newRow("sign-in") << "ok" << QStringList{QStringLiteral("GET /ok/api/account/")};
    }

    void requestsOnTheWire() {
        QFETCH(QString, operation);
        QFETCH(QStringList, requests);
        useScenario(requests.first().section(QLatin1Char('/'), 1, 1));
        OVError error;
        QByteArray authorization = kStoredAuthorization;
        OVRecord record = sessionRecord();
        if (operation == QLatin1String("teams")) {
            QVERIFY(m_service.getTeams(&error));
        } else if (operation.startsWith(QLatin1String("records"))) {
            QVERIFY(m_service.getRecordsByFilter(OVRecordFilter(), &error));
        } else if (operation == QLatin1String("create")) {
            QVERIFY(m_service.createRecord(record, &error));
        } else {
            authorization = "Basic " + QByteArray("someone:other").toBase64(); // not the stored ones
            CallOutcome<OVUser> signIn;
            m_service.authenticate(QStringLiteral("someone"), QStringLiteral("other"), signIn.handler());
            QVERIFY(signIn.wait());
            QCOMPARE(signIn.value->uri, std::optional<QString>(QStringLiteral("/api/user/100/")));
            QVERIFY(!signIn.onMainThread);
        }

        const QList<OVCaptureServer::Request> captured = m_capture.takeRequests(int(requests.size()));
        QCOMPARE(captured.size(), requests.size());
        for (qsizetype i = 0; i < captured.size(); ++i) {
            const OVCaptureServer::Request& request = captured.at(i);
            QCOMPARE(request.method + QLatin1Char(' ') + request.target, requests.at(i));
            QCOMPARE(ourHeaders(request),
                     (QStringList{QStringLiteral("Content-Type: application/json"),
                                  QStringLiteral("Accept: application/json"),
                                  QStringLiteral("Authorization: ") + QString::fromLatin1(authorization),
                                  QStringLiteral("X-ORVATIMESTAMP: ") + QLatin1String(kNetworkTimestamp),
                                  QStringLiteral("X-ORVAAPIKEY: ") + OVConfiguration::apiKey(),
                                  QStringLiteral("X-ORVAAPISIGNATURE: ") + request.expectedSignature,
                                  QStringLiteral("X-ORVAAPIVERSION: 3.3.0")}));
        }
        if (operation == QLatin1String("create")) {
            const QJsonObject body = QJsonDocument::fromJson(captured.first().body).object();
            QCOMPARE((QJsonArray{body[QLatin1String("user")], body[QLatin1String("start")],
                                 body[QLatin1String("data")]}),
                     (QJsonArray{QStringLiteral("/api/user/101/"), 2560.0, QStringLiteral("AAEC")}));
            // Only the URI is taken from the answer.
            QCOMPARE(record.resource_uri, std::optional<QString>(QStringLiteral("/api/record/471/")));
            QCOMPARE(record.dev_id, sessionRecord().dev_id);
            QVERIFY(!record.identifier && !record.user);
        }
    }

    void signingFallsBackToTheLocalClock() {
        qputenv("OV_NETWORK_TIME_URL", "http://127.0.0.1:9/");
        useScenario(QStringLiteral("ok"));
        OVError error;
        const double before = std::floor(OVDate::now().secondsSince1970());
        QVERIFY(m_service.getRecordsByFilter(OVRecordFilter(), &error));
        const OVCaptureServer::Request sent = m_capture.takeRequests(1).value(0);
        const QString timestamp = sent.header(QStringLiteral("X-ORVATIMESTAMP")).value_or(QString());
        QVERIFY2(QRegularExpression(QStringLiteral("^[0-9]+$")).match(timestamp).hasMatch() &&
                     timestamp.toDouble() >= before &&
                     timestamp.toDouble() <= OVDate::now().secondsSince1970(),
                 qPrintable(timestamp));
        QCOMPARE(sent.header(QStringLiteral("X-ORVAAPISIGNATURE")), sent.expectedSignature);
    }

    void answerStatuses_data() {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<bool>("async");
        QTest::addColumn<QByteArray>("body"); // expected data; empty: none
        QTest::addColumn<QString>("error");   // "code: description"; empty: none
        QTest::addColumn<int>("requests");
        const QString noData = QStringLiteral("1: No data returned from server");
        QTest::newRow("204 sync") << "s204" << false << QByteArray() << "" << 1;
        QTest::newRow("204 async") << "s204" << true << QByteArray() << noData << 1;
        QTest::newRow("200 empty sync") << "s200empty" << false << QByteArray() << noData << 1;
        QTest::newRow("302 elsewhere is not followed")
            << "s302" << false << QByteArray("{\"moved\": 1}") << "" << 1;
        QTest::newRow("301 to the same server is followed")
            << "moved" << true << QByteArray("{\"meta\":{\"next\":null},\"objects\":[]}") << "" << 2;
        QTest::newRow("redirect loop ends") << "loop" << false << QByteArray() << noData << 11;
        QTest::newRow("500 sync") << "s500" << false << QByteArray()
                                  << "500: Error: Internal Server Error, Internal Server Error" << 1;
        QTest::newRow("500 async") << "s500" << true << QByteArray()
                                   << "500: Error: Internal Server Error, Traceback: boom" << 1;
        QTest::newRow("404 sync") << "s404" << false << QByteArray()
                                  << "404: Error: Not Found, {\"error\": \"Not found.\"}" << 1;
        QTest::newRow("401 sync") << "s401" << false << QByteArray() << "2: Unauthorized" << 1;
        QTest::newRow("401 async") << "s401" << true << QByteArray() << "2: Unauthorized" << 1;
    }

    void answerStatuses() {
        QFETCH(QString, scenario);
        QFETCH(bool, async);
        QFETCH(QByteArray, body);
        QFETCH(int, requests);
        useScenario(scenario);
        const OVURLRequest request = m_service.buildRequest(QStringLiteral("record"), QStringLiteral("GET"));
        CallOutcome<QByteArray> outcome;
        if (async) {
            m_service.sendAsync(request, outcome.handler());
            QVERIFY(outcome.wait());
            QVERIFY(!outcome.onMainThread);
        } else {
            OVError error(QStringLiteral("stale"), 99, QStringLiteral("left from before"));
            outcome.value = m_service.sendSync(request, &error);
            if (!error.domain().isEmpty())
                outcome.error = error;
        }
        const QList<OVCaptureServer::Request> sent = m_capture.takeRequests(requests);
        QCOMPARE(sent.size(), requests);
        for (const OVCaptureServer::Request& hop : sent) // each hop signed for its own URL
            QCOMPARE(hop.header(QStringLiteral("X-ORVAAPISIGNATURE")), hop.expectedSignature);
        QCOMPARE(outcome.value, body.isEmpty() ? std::nullopt : std::optional(body));
        QTEST(outcome.error
                  ? QStringLiteral("%1: %2").arg(outcome.error->code()).arg(outcome.error->description())
                  : QString(),
              "error");
        QVERIFY(!outcome.error || outcome.error->domain() == OVService::kErrorDomain);
    }

    void failuresOfResourceOperations() {
        qputenv("OV_SERVER_URL", "http://127.0.0.1:9/api/"); // nobody listens
        OVError error;
        QVERIFY(!m_service.getRecordsByFilter(OVRecordFilter(), &error));
        QCOMPARE(error.domain(), OVService::kTransportErrorDomain);
        QCOMPARE(error.code(), int(QNetworkReply::ConnectionRefusedError));

        useScenario(QStringLiteral("badtype")); // valid JSON of the wrong shape
        QVERIFY(!m_service.getTeams(&error));
        QCOMPARE(error.code(), 5);
        QVERIFY(error.description().startsWith(
            QLatin1String("Unhandled exception occurred. Exception: Unexpected JSON")));
        QVERIFY(!m_service.getRecordsByFilter(OVRecordFilter(), &error));
        QCOMPARE(error.code(), 5);
        m_capture.takeRequests(2);
        QCOMPARE(m_log->count(QStringLiteral("^Unhandled exception occurred. Exception: .*\\. Stack:")), 2);

        OVRecord incomplete = sessionRecord();
        incomplete.soft_uid.reset(); // required in the body: nothing is sent
        QVERIFY(!m_service.createRecord(incomplete, &error));
        QCOMPARE(error.code(), 5);
        OVRecord noUri;
        QVERIFY(
            !m_service.createUploadRecordRequest(noUri, QStringLiteral("/tmp/part_0_0_9.dat"), 10, &error));
        QCOMPARE(error.code(), 5);
        QCOMPARE(m_capture.takeRequests(1, 300).size(), 0);
    }

    void signInFailures_data() {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<QString>("domain");
        QTest::addColumn<int>("code"); // -1: the parser's own
        QTest::addColumn<QString>("logLine");
        QTest::newRow("refused") << "s401" << OVService::kErrorDomain << 2 << "Request error:";
        QTest::newRow("no user in the answer")
            << "badtype" << OVService::kErrorDomain << 5
            << "Unhandled exception occurred. Exception: The account answer holds no user. Stack:";
        QTest::newRow("not json") << "badjson" << OVModelBuilder::jsonErrorDomain() << -1
                                  << "Error in building the model User. Error:";
    }

    void signInFailures() {
        QFETCH(QString, scenario);
        QFETCH(QString, domain);
        QFETCH(int, code);
        QFETCH(QString, logLine);
        useScenario(scenario);
        CallOutcome<OVUser> outcome;
        m_service.authenticate(QStringLiteral("coach"), QStringLiteral("pw"), outcome.handler());
        QVERIFY(outcome.wait());
        m_capture.takeRequests(1);
        QVERIFY(!outcome.value && outcome.error);
        QCOMPARE(outcome.error->domain(), domain);
        if (code >= 0)
            QCOMPARE(outcome.error->code(), code);
        QVERIFY2(m_log->count(QLatin1Char('^') + QRegularExpression::escape(logLine)) > 0,
                 qPrintable(m_log->lines().join(QLatin1Char('\n'))));
    }

    void teamsOfTheAthletes_data() {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<QStringList>("described"); // the athletes' ids, then "team: ids" of each team
        const QString others = QStringLiteral("Athletes not part of any team:");
        QTest::newRow("coach with permissions")
            << "teams"
            << QStringList{QStringLiteral("100 101 102 103 102"), QStringLiteral("A: 101 102"),
                           QStringLiteral("C: 103 101"), others + QStringLiteral(" 100")};
        QTest::newRow("alone, in a team")
            << "alone" << QStringList{QStringLiteral("100"), QStringLiteral("A: 100"), others};
        QTest::newRow("alone, in no team")
            << "nobody" << QStringList{QStringLiteral("100"), others + QStringLiteral(" 100")};
    }

    void teamsOfTheAthletes() {
        QFETCH(QString, scenario);
        useScenario(scenario);
        const auto ids = [](const QList<OVUser>& users) {
            QStringList list;
            for (const OVUser& user : users)
                list << QString::number(user.identifier.value_or(-1));
            return list;
        };
        OVError error;
        QStringList described{ids(*m_service.getAtheletes(&error)).join(QLatin1Char(' '))};
        const std::optional<QList<OVTeam>> result = m_service.getTeams(&error);
        QVERIFY(result);
        for (const OVTeam& team : *result)
            described
                << (QStringList{*team.name + QLatin1Char(':')} + ids(team.members)).join(QLatin1Char(' '));
        QTEST(described, "described");
        m_capture.takeRequests(3);
    }

    void loggingShowsNoSecret() {
        useScenario(QStringLiteral("ok"));
        OVError error;
        OVStderrCapture console(m_home.filePath(QStringLiteral("stderr.txt")));
        QVERIFY(m_service.getRecordsByFilter(OVRecordFilter(), &error));
        const QString consoleText = QString::fromUtf8(console.text());
        const OVCaptureServer::Request sent = m_capture.takeRequests(1).value(0);
        const QString logged = m_log->take().join(QLatin1Char('\n'));
        QVERIFY(logged.contains(QStringLiteral("URL: ") + m_capture.url(QStringLiteral("/ok/api/record/?"))));
        QVERIFY(logged.contains(QStringLiteral("HTTP Method: GET\nHTTP Response code : 200")));
        QVERIFY(consoleText.contains(QStringLiteral("X-ORVAAPIVERSION: 3.3.0\nX-ORVATIMESTAMP: %1\n")
                                         .arg(QLatin1String(kNetworkTimestamp))));
        // The password, the secret and the Authorization header are looked for in every log by the fault
        // campaign.
        for (const QString& secret :
             {*sent.header(QStringLiteral("X-ORVAAPISIGNATURE")), OVConfiguration::apiKey()}) {
            QVERIFY2(!logged.contains(secret), qPrintable(secret));
            QVERIFY2(!consoleText.contains(secret), qPrintable(secret));
        }
    }

private:
    void useScenario(const QString& name) {
        qputenv("OV_SERVER_URL", m_capture.url(QStringLiteral("/%1/api/").arg(name)).toUtf8());
    }

    QTemporaryDir m_home;
    OVCaptureServer m_capture{scenarios(), OVConfiguration::apiSecret()};
    std::shared_ptr<OVLogCapture> m_log = OVLogCapture::install();
    OVCredentialManager m_credentials;
    SUUpdater m_updater;
    OVPreferencesManager m_preferences{OVLoginItem(QString(), QString()), &m_updater};
    OVService m_service{&m_credentials, &m_preferences};
};

QTEST_GUILESS_MAIN(tst_OVServiceWire)
#include "tst_OVServiceWire.moc"
