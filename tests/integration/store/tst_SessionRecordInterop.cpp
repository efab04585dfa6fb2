// The store's files against Python's plistlib, an independent reader and writer: what we write
// it reads key for key, type for type, and what it writes we read.
#include "OVSessionFileRepository.h"
#include "StoreTestSupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Checks the record at `path` against `values` with plistlib, which then writes a session record again
// without the keys left out; answers what went wrong, empty when nothing did.
QString plistlib(const QString& path, const QJsonObject& values, const QStringList& leftOut = {}) {
    QProcess python;
    python.setProcessChannelMode(QProcess::MergedChannels);
    python.start(
        QStringLiteral("/usr/bin/python3"),
        QStringList{QStringLiteral(OV_SOURCE_DIR "/tests/integration/store/session_record_interop.py"),
                    path} +
            leftOut);
    python.write(QJsonDocument(values).toJson(QJsonDocument::Compact));
    python.closeWriteChannel();
    const bool ended = python.waitForFinished(30000) && python.exitStatus() == QProcess::NormalExit;
    return ended && python.exitCode() == 0 ? QString()
                                           : QString::fromUtf8(python.readAll()) + python.errorString();
}

} // namespace

class tst_SessionRecordInterop : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void recordsRoundTripThroughPlistlib_data() {
        QTest::addColumn<double>("start"); // whole microseconds: plistlib keeps no more
        QTest::addColumn<bool>("flags");   // when clear, plistlib's record leaves them out
        QTest::newRow("flags set") << 1712345678.25 << true;
        QTest::newRow("before 2001, flags left out") << 1000.5 << false;
    }

    void recordsRoundTripThroughPlistlib() {
        QFETCH(double, start);
        QFETCH(bool, flags);
        QTemporaryDir home;
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
        OVSessionFileRepository repo;
        auto session = makeStoreSession(QStringLiteral("OVR1234567890"), start, 300, 25);
        session->setUserId(4294967296ULL);
        session->setCrcCorruption(flags);
        session->setAlreadySynced(flags);
        const QByteArray page(OVPage::kPageSize, '\xa5');
        OVError error;
        QVERIFY(repo.addSession(*session, &error));
        QVERIFY(repo.addData(OVPage(311, page), *session, &error));
        QCOMPARE(error.code(), 0);
        QCOMPARE(
            plistlib(repo.getDirectoryPathForSessionPages(*session, &error) + QStringLiteral("/ov_311.dat"),
                     {{QStringLiteral("pageNumber"), 311},
                      {QStringLiteral("data"), QString::fromLatin1(page.toHex())}}),
            QString());
        const QStringList leftOut =
            flags ? QStringList()
                  : QStringList{QStringLiteral("crcCorruption"), QStringLiteral("alreadySynced")};
        QCOMPARE(plistlib(repo.getSessionFilePath(*session, &error), storedValues(*session), leftOut),
                 QString());

        const std::optional<OVSessionList> all = repo.getAllSessions(&error);
        QVERIFY(all && all->size() == 1);
        // deviceUid is not ASCII: plistlib writes it as UTF-16.
        QCOMPARE(storedValues(*all->first()), storedValues(*session));
    }
};

QTEST_GUILESS_MAIN(tst_SessionRecordInterop)
#include "tst_SessionRecordInterop.moc"
