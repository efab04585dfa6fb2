#include "OVBag.h"
#include "OVFileSystem.h"
#include "OVSessionExporter.h"
#include "OVSessionFileRepository.h"
#include "StoreTestSupport.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

namespace {
constexpr char kSerial[] = "OVR0000000000501";

QByteArray pages(quint64 count, char seed) {
    QByteArray data;
    for (quint64 i = 0; i < count * 512; ++i)
        data.append(static_cast<char>(seed + i * 31 % 251));
    return data;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// Every file of a tree with its contents, to see that nothing changed.
QMap<QString, QByteArray> snapshot(const QString& root) {
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(path, readAll(path));
    }
    return files;
}
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
        writeAll(path, pages(pageCount, char(pageCount)).left(storedBytes));
        return session;
    }

    QString exportedBag() {
        auto session = store(QString::fromLatin1(kSerial), 1796378400.5, 3, 3 * 512);
        OVSessionExporter exporter(&m_repository);
        OVError error;
        const auto report = exporter.exportSessions(outDir(), {}, &error);
        if (!report || report->bags.size() != 1)
            return QString();
        return outDir() + QLatin1Char('/') + report->bags.first();
    }

private Q_SLOTS:
    void init() {
        m_home = std::make_unique<QTemporaryDir>();
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home->path() + QStringLiteral("/data")));
    }
    void cleanup() { qunsetenv("XDG_DATA_HOME"); }

    void exportedBagHoldsTheRecordAndTheDataAndVerifies() {
        const QString bag = exportedBag();
        QVERIFY(!bag.isEmpty());
        QCOMPARE(QDir(bag).dirName(), QStringLiteral("OVR0000000000501_1796378400.500000"));
        QCOMPARE(OVBag::verify(bag), QStringList());
        QCOMPARE(readAll(bag + QStringLiteral("/data/session_data.dat")), pages(3, 3));

        const QJsonObject record =
            QJsonDocument::fromJson(readAll(bag + QStringLiteral("/data/session.json"))).object();
        const QJsonObject start = record.value(QStringLiteral("start")).toObject();
        QCOMPARE(start.value(QStringLiteral("iso8601")).toString(),
                 QStringLiteral("2026-12-04T10:00:00.500Z"));
        QCOMPARE(start.value(QStringLiteral("serverTimestamp")).toDouble(), 1796378400.5 * 256);
        QCOMPARE(record.value(QStringLiteral("deviceUid")).toString(), QStringLiteral("DEVICE-UID-ÄÖ-0001"));
        QCOMPARE(record.value(QStringLiteral("pageCount")).toInt(), 3);
        QCOMPARE(record.value(QStringLiteral("dataSha256")).toString().toLatin1(),
                 QCryptographicHash::hash(pages(3, 3), QCryptographicHash::Sha256).toHex());

        const QList<QByteArray> index = readAll(outDir() + QStringLiteral("/sessions.csv")).split('\n');
        QVERIFY(index.at(0).startsWith("bag,deviceSerial,start,startSeconds,"));
        QVERIFY(index.at(1).startsWith("OVR0000000000501_1796378400.500000,OVR0000000000501,"
                                       "2026-12-04T10:00:00.500Z,1796378400.5,"));
    }

    void damageIsReported_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("contents"); // empty: the file is removed
        QTest::addColumn<QString>("problem");
        QTest::newRow("a payload byte changed") << "data/session_data.dat" << QByteArray(3 * 512, 'x')
                                                << "data/session_data.dat does not match its checksum";
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
        const QString bag = exportedBag();
        QVERIFY(!bag.isEmpty());
        if (contents.isEmpty())
            QVERIFY(QFile::remove(bag + QLatin1Char('/') + file));
        else
            writeAll(bag + QLatin1Char('/') + file, contents);
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
        const QString b = QStringLiteral("OVR0000000000601_2000.250000");
        const QString c = QStringLiteral("OVR0000000000602_1000.000000");
        QTest::newRow("everything") << QString() << qint64(0) << QStringList{a, b, c};
        QTest::newRow("one device") << QStringLiteral("OVR0000000000601") << qint64(0) << QStringList{a, b};
        QTest::newRow("one session by whole seconds")
            << QStringLiteral("OVR0000000000601") << qint64(2000) << QStringList{b};
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
        const QMap<QString, QByteArray> before = snapshot(m_home->path() + QStringLiteral("/data"));

        OVSessionExporter exporter(&m_repository);
        OVSessionExporter::Selection selection{serial, start ? std::optional<qint64>(start) : std::nullopt};
        OVError error;
        const auto report = exporter.exportSessions(outDir(), selection, &error);
        QVERIFY2(report, qPrintable(error.description()));
        QStringList written = report->bags;
        written.sort();
        QCOMPARE(written, bags);
        QCOMPARE(report->skipped.size(), serial.isEmpty() ? 1 : 0);
        for (const QString& bag : bags)
            QCOMPARE(OVBag::verify(outDir() + QLatin1Char('/') + bag), QStringList());
        QCOMPARE(snapshot(m_home->path() + QStringLiteral("/data")), before);
        QCOMPARE(QDir(outDir()).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot).size(),
                 bags.size());
    }
};

QTEST_GUILESS_MAIN(tst_OVSessionExporter)
#include "tst_OVSessionExporter.moc"
