#include "OVBag.h"
#include "OVSessionExporter.h"
#include "OVSessionFileRepository.h"
#include "StoreTestSupport.h"

#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QString kFractionalBag =
    QStringLiteral("OVR0000000000601_2000.250000"); // the session with a fractional start
} // namespace

class tst_OVSessionExporter : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_home;
    OVSessionFileRepository m_repository;

    QString outDir() const { return m_home->path() + QStringLiteral("/export"); }

    std::shared_ptr<OVSession> store(const QString& serial, double start, quint64 pageCount,
                                     qint64 storedBytes) {
        auto session = makeStoreSession(serial, start, 100, pageCount);
        OVError error;
        if (!m_repository.addSession(*session, &error))
            return nullptr;
        const QString path = m_repository.getSessionDataFilePath(*session, &error);
        return writeFileBytes(path, QByteArray(storedBytes, char(pageCount))) ? session : nullptr;
    }

private Q_SLOTS:
    void init() {
        m_home = std::make_unique<QTemporaryDir>();
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home->path() + QStringLiteral("/data")));
    }
    void cleanup() { qunsetenv("XDG_DATA_HOME"); }

    void damageIsReported_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("contents"); // empty: the file is removed
        QTest::addColumn<QString>("problem");
        QTest::newRow("a payload file removed")
            << "data/session.json" << QByteArray() << "data/session.json is missing";
        QTest::newRow("a payload file added")
            << "data/extra.bin" << QByteArray("x") << "data/extra.bin is not in the manifest";
        QTest::newRow("manifest removed")
            << "manifest-sha256.txt" << QByteArray() << "manifest-sha256.txt is missing or unreadable";
        QTest::newRow("manifest path leaves the bag")
            << "manifest-sha256.txt" << QByteArray("00  ../outside\n")
            << "manifest-sha256.txt line 1 is malformed";
        QTest::newRow("declaration removed")
            << "bagit.txt" << QByteArray() << "bagit.txt is missing or not a BagIt declaration";
        QTest::newRow("bag-info edited")
            << "bag-info.txt" << QByteArray("Payload-Oxum: 1.2\n") << "Payload-Oxum says 1.2, the payload is";
    }

    void damageIsReported() {
        QFETCH(QString, file);
        QFETCH(QByteArray, contents);
        QFETCH(QString, problem);
        QVERIFY(store(QStringLiteral("OVR0000000000501"), 1796378400.5, 3, 3 * 512));
        OVError error;
        const auto report = OVSessionExporter(&m_repository).exportSessions(outDir(), {}, &error);
        QVERIFY(report && report->bags.size() == 1);
        const QString bag = outDir() + QLatin1Char('/') + report->bags.first();
        if (contents.isEmpty())
            QVERIFY(QFile::remove(bag + QLatin1Char('/') + file));
        else
            QVERIFY(writeFileBytes(bag + QLatin1Char('/') + file, contents));
        const QStringList problems = OVBag::verify(bag);
        QVERIFY2(std::any_of(problems.begin(), problems.end(),
                             [&](const QString& p) { return p.startsWith(problem); }),
                 qPrintable(problems.join(QLatin1String("; "))));
    }

    void selectionPicksSessionsAndIncompleteOnesAreLeftOut_data() {
        QTest::addColumn<QString>("serial");
        QTest::addColumn<qint64>("start"); // 0: any
        QTest::addColumn<QStringList>("bags");
        const QString a = QStringLiteral("OVR0000000000601_1000.000000");
        const QString c = QStringLiteral("OVR0000000000602_1000.000000");
        QTest::newRow("everything") << QString() << qint64(0) << QStringList{a, kFractionalBag, c};
        QTest::newRow("one session by whole seconds")
            << QStringLiteral("OVR0000000000601") << qint64(2000) << QStringList{kFractionalBag};
        QTest::newRow("unknown device") << QStringLiteral("OVR0000000000699") << qint64(0) << QStringList{};
    }

    void selectionPicksSessionsAndIncompleteOnesAreLeftOut() {
        QFETCH(QString, serial);
        QFETCH(qint64, start);
        QFETCH(QStringList, bags);
        QVERIFY(store(QStringLiteral("OVR0000000000601"), 1000, 2, 2 * 512));
        QVERIFY(store(QStringLiteral("OVR0000000000601"), 2000.25, 4, 4 * 512));
        QVERIFY(store(QStringLiteral("OVR0000000000602"), 1000, 1, 512));
        QVERIFY(store(QStringLiteral("OVR0000000000602"), 3000, 4, 512)); // still downloading

        const OVSessionExporter::Selection selection{serial,
                                                     start ? std::optional<qint64>(start) : std::nullopt};
        OVError error;
        const auto report = OVSessionExporter(&m_repository).exportSessions(outDir(), selection, &error);
        QVERIFY2(report, qPrintable(error.description()));
        QStringList written = report->bags;
        written.sort();
        QCOMPARE(written, bags);
        QCOMPARE(report->skipped.size(), serial.isEmpty() ? 1 : 0);
        for (const QString& bag : bags)
            QCOMPARE(OVBag::verify(outDir() + QLatin1Char('/') + bag), QStringList());
        const QJsonObject record =
            QJsonDocument::fromJson(fileBytes(outDir() + QLatin1Char('/') + kFractionalBag +
                                              QStringLiteral("/data/session.json")))
                .object(); // times keep their fraction
        QCOMPARE(record.value(QStringLiteral("start")).toObject().value(QStringLiteral("iso8601")).toString(),
                 bags.contains(kFractionalBag) ? QStringLiteral("1970-01-01T00:33:20.250Z") : QString());
        QCOMPARE(QDir(outDir()).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot).size(),
                 bags.size());
    }
};

QTEST_GUILESS_MAIN(tst_OVSessionExporter)
#include "tst_OVSessionExporter.moc"
