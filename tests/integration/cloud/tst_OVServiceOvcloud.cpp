// The web API client against a real ovcloud server on a loopback port: sign-in, athletes and teams,
// record search with paging, record creation and a chunked upload.
#include "OVCloudServer.h"
#include "OVCredentialManager.h"
#include "OVPreferencesManager.h"
#include "OVService.h"
#include "OVSession.h"
#include "SUUpdater.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <mutex>

namespace {

constexpr qint64 kChunkSize = 5 * 1024 * 1024;

QString uniqueSerial() {
    return QStringLiteral("OVIT%1").arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'));
}

OVRecord recordFor(const QString& serial, double startSeconds, quint64 userId) {
    OVSession session;
    session.setDeviceSerial(serial);
    session.setStart(OVDate::fromSecondsSince1970(startSeconds));
    session.setEnd(OVDate::fromSecondsSince1970(startSeconds + 600.5));
    session.setUserId(userId);
    session.setPageCount(24577);
    session.setDeviceUid(QStringLiteral("uid-") + serial);
    session.setFirmwareRev(QStringLiteral("2.4.1"));
    session.setSoftwareUid(QStringLiteral("soft"));
    session.setSoftwareProtocol(3);
    session.setData(QByteArray(64, '\x5a'));
    return OVRecord::buildRecordFromSession(session);
}

QList<qint64> ids(const QList<OVUser>& users) {
    QList<qint64> list;
    for (const OVUser& user : users)
        list << user.identifier.value_or(-1);
    return list;
}

} // namespace

class tst_OVServiceOvcloud : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_home.isValid());
        qputenv("HOME", QFile::encodeName(m_home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.filePath(QStringLiteral("config"))));
        QString error;
        QVERIFY2(m_server.start(&error), qPrintable(error));
        qputenv("OV_SERVER_URL", m_server.apiUrl().toUtf8());
        qputenv("OV_NETWORK_TIME_URL", m_server.rootUrl().toUtf8());
        m_demo = OVCloudServer::demoAccount();
        QVERIFY(!m_demo.isEmpty());
    }

    void signIn_data() {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("wrong password") << "not-the-password" << false;
        QTest::newRow("right password") << m_demo.value(QLatin1String("password")).toString() << true;
    }

    void signIn() {
        QFETCH(QString, password);
        QFETCH(bool, accepted);
        m_credentials.deleteCredential();
        std::mutex mutex;
        std::optional<std::pair<std::optional<OVUser>, std::optional<OVError>>> outcome;
        m_service.authenticate(m_demo.value(QLatin1String("username")).toString(), password,
                               [&](std::optional<OVUser> user, std::optional<OVError> error) {
                                   std::lock_guard<std::mutex> lock(mutex);
                                   outcome.emplace(user, error);
                               });
        QVERIFY(QTest::qWaitFor(
            [&] {
                std::lock_guard<std::mutex> lock(mutex);
                return outcome.has_value();
            },
            30000));
        const auto [signedIn, error] = *outcome;
        if (!accepted) {
            QVERIFY(!signedIn);
            QCOMPARE(error->domain(), OVService::kErrorDomain);
            QCOMPARE(error->code(), 2);
            QCOMPARE(error->description(), QStringLiteral("Unauthorized"));
            return;
        }
        QVERIFY2(!error, qPrintable(error ? error->description() : QString()));
        const OVUser& coach = *signedIn;
        QCOMPARE(coach.identifier, std::optional<qint64>(m_demo.value(QLatin1String("user_id")).toInteger()));
        QCOMPARE(coach.uri, std::optional<QString>(QStringLiteral("/api/user/100/")));
        QCOMPARE(coach.email, coach.username);
        QCOMPARE(coach.firstName, std::optional<QString>(QStringLiteral("Casey")));
        QVERIFY(coach.profile);
        QCOMPARE(coach.profile->gender, 1);
        QCOMPARE(coach.profile->dateOfBirth->toDateTime().toLocalTime().date(), QDate(1979, 4, 12));

        // As the account view does: the next requests authenticate with what is stored.
        m_credentials.saveCredential(coach, password);
        QVERIFY(OVCredentialManager().isUserSignedIn());
    }

    void athletesAndTeams() {
        OVError error;
        const std::optional<QList<OVUser>> athletes = m_service.getAtheletes(&error);
        QVERIFY2(athletes, qPrintable(error.description()));
        QList<qint64> expected{m_demo.value(QLatin1String("user_id")).toInteger()};
        for (const QJsonValue& id : m_demo.value(QLatin1String("athlete_ids")).toArray())
            expected << id.toInteger();
        QCOMPARE(ids(*athletes), expected);

        const std::optional<QList<OVTeam>> teams = m_service.getTeams(&error);
        QVERIFY2(teams, qPrintable(error.description()));
        QStringList names;
        for (const OVTeam& team : *teams)
            names << team.name.value_or(QString());
        QCOMPARE(names,
                 (QStringList{QStringLiteral("Sprint"), QStringLiteral("Endurance"),
                              QStringLiteral("Juniors"), QStringLiteral("Athletes not part of any team")}));
        QCOMPARE(ids(teams->at(0).members), (QList<qint64>{101, 102, 103}));
        // 106 is in the team but not among the coach's athletes.
        QCOMPARE(ids(teams->at(2).members), (QList<qint64>{102, 105}));
        QCOMPARE(ids(teams->at(3).members), (QList<qint64>{100}));
    }

    void createdRecordIsFoundByItsSession() {
        const QString serial = uniqueSerial();
        const double start = 1764000000.0 + 3.0 / 256 + 1.0 / 1024; // a fraction of a unit is cut in queries
        OVRecord record = recordFor(serial, start, 101);
        OVError error;
        QVERIFY2(m_service.createRecord(record, &error), qPrintable(error.description()));
        QVERIFY(record.resource_uri && record.resource_uri->startsWith(QLatin1String("/api/record/")));

        OVRecordFilter filter;
        filter.exact_device = serial;
        filter.exact_startTimestamp = OVDate::fromSecondsSince1970(start);
        filter.exact_userUri = QStringLiteral("101");
        const std::optional<OVRecordsPage> page = m_service.getRecordsByFilter(filter, &error);
        QVERIFY2(page, qPrintable(error.description()));
        QCOMPARE(page->second.size(), 1);
        const OVRecord& found = page->second.first();
        QCOMPARE(found.resource_uri, record.resource_uri);
        QCOMPARE(OVService::getResourceIdFromUri(*found.resource_uri), QString::number(*found.identifier));
        QCOMPARE(int(found.status), 1);
        QVERIFY(!found.timelineSize);
        QCOMPARE(found.user->identifier, std::optional<qint64>(101));
        QCOMPARE(found.device, std::optional<QString>(QStringLiteral("/api/device/%1/").arg(serial)));
        QCOMPARE(found.npages, std::optional<qint64>(24577));
        QCOMPARE(found.data, std::optional<QByteArray>(QByteArray(64, '\x5a').toBase64()));
        QCOMPARE(std::floor(found.startTimestamp->secondsSince1970() * 256), std::floor(start * 256));

        filter.exact_userUri = QStringLiteral("102");
        QCOMPARE(m_service.getRecordsByFilter(filter, &error)->second.size(), 0);
    }

    void recordSearchPagesThroughNext() {
        const QString serial = uniqueSerial();
        OVError error;
        for (int i = 0; i < 7; ++i) {
            OVRecord record = recordFor(serial, 1765000000.0 + i * 3600, 102 + i % 2);
            QVERIFY2(m_service.createRecord(record, &error), qPrintable(error.description()));
        }
        OVRecordFilter filter;
        filter.exact_device = serial;
        filter.greatherThanOrEqual_startTimestamp = OVDate::fromSecondsSince1970(1765000000.0);
        filter.lessThanOrEqual_startTimestamp = OVDate::fromSecondsSince1970(1765000000.0 + 6 * 3600 + 1);
        filter.limit = 3;
        QList<int> pageSizes;
        QList<qint64> seen;
        for (int guard = 0; guard < 10; ++guard) {
            const std::optional<OVRecordsPage> page = m_service.getRecordsByFilter(filter, &error);
            QVERIFY2(page, qPrintable(error.description()));
            QCOMPARE(page->first.totalCount, std::optional<qint64>(7));
            pageSizes << int(page->second.size());
            for (const OVRecord& record : page->second)
                seen << *record.identifier;
            if (!page->first.next)
                break;
            // As the status inquirer reads it: the "offset=" piece of the next page's query.
            const QStringList pieces = page->first.next->split(QLatin1Char('&'));
            const auto offset = std::find_if(pieces.begin(), pieces.end(), [](const QString& p) {
                return p.contains(QLatin1String("offset="));
            });
            QVERIFY(offset != pieces.end());
            filter.offset = offset->split(QLatin1Char('=')).value(1).toLongLong();
        }
        QCOMPARE(pageSizes, (QList<int>{3, 3, 1}));
        QCOMPARE(QSet<qint64>(seen.begin(), seen.end()).size(), 7);
    }

    void chunkedUploadLeavesIdenticalBytes() {
        // The chunk files of a data file of two chunks and a bit, named as the session syncher names them.
        QTemporaryDir sessionDir;
        const qint64 size = 2 * kChunkSize + 12345;
        QCryptographicHash expected(QCryptographicHash::Sha1);
        QStringList chunks;
        QRandomGenerator random(7);
        for (qint64 first = 0; first < size; first += kChunkSize) {
            QByteArray bytes(std::min(kChunkSize, size - first) & ~qint64(3), Qt::Uninitialized);
            random.fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
            bytes += QByteArray(std::min(kChunkSize, size - first) - bytes.size(), 'x');
            expected.addData(bytes);
            chunks << sessionDir.filePath(QStringLiteral("part_%1_%2_%3.dat")
                                              .arg(chunks.size())
                                              .arg(first)
                                              .arg(first + bytes.size() - 1));
            QFile chunk(chunks.last());
            QVERIFY(chunk.open(QIODevice::WriteOnly) && chunk.write(bytes) == bytes.size());
        }
        QVERIFY(chunks.at(1).endsWith(QStringLiteral("/part_1_5242880_10485759.dat")));

        OVRecord record = recordFor(uniqueSerial(), 1766000000.0, 103);
        OVError error;
        QVERIFY2(m_service.createRecord(record, &error), qPrintable(error.description()));
        for (const QString& chunk : chunks) {
            const std::optional<OVURLRequest> request =
                m_service.createUploadRecordRequest(record, chunk, quint64(size), &error);
            QVERIFY(request);
            QNetworkAccessManager manager;
            QNetworkReply* reply = request->send(manager);
            QVERIFY(reply);
            QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), 60000);
            const QByteArray answer = reply->readAll();
            QVERIFY2(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200,
                     answer.constData());
            delete reply;
        }

        const QString id = OVService::getResourceIdFromUri(*record.resource_uri);
        const std::optional<QByteArray> stored = m_service.sendSync(
            m_service.buildRequest(QStringLiteral("sync/timeline/") + id, QStringLiteral("GET")), &error);
        QVERIFY2(stored, qPrintable(error.description()));
        QCOMPARE(stored->size(), size);
        QCOMPARE(QCryptographicHash::hash(*stored, QCryptographicHash::Sha1), expected.result());

        OVRecordFilter filter;
        filter.exact_device = record.device->section(QLatin1Char('/'), 3, 3);
        filter.exact_startTimestamp = *record.startTimestamp;
        const std::optional<OVRecordsPage> page = m_service.getRecordsByFilter(filter, &error);
        QVERIFY(page && page->second.size() == 1);
        QCOMPARE(int(page->second.first().status), 0);
    }

private:
    QTemporaryDir m_home;
    OVCloudServer m_server;
    QJsonObject m_demo;
    OVCredentialManager m_credentials;
    SUUpdater m_updater;
    OVPreferencesManager m_preferences{OVLoginItem(QString(), QString()), &m_updater};
    OVService m_service{&m_credentials, &m_preferences};
};

QTEST_GUILESS_MAIN(tst_OVServiceOvcloud)
#include "tst_OVServiceOvcloud.moc"
