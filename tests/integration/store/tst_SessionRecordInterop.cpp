// The store's files against Python's plistlib, an independent reader and writer: what we write
// it reads key for key, type for type, and what it writes we read.
#include "OVSessionFileRepository.h"
#include "StoreTestSupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class tst_SessionRecordInterop : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_home;
    OVSessionFileRepository m_repo;

    // Runs the script; answers its exit code (-1: it did not end by itself) and what it printed.
    static QPair<int, QString> script(const QString& command, const QString& path,
                                      const QJsonObject& values) {
        QProcess python;
        python.setProcessChannelMode(QProcess::MergedChannels);
        python.start(QStringLiteral("/usr/bin/python3"),
                     {QStringLiteral(OV_SOURCE_DIR "/tests/integration/store/session_record_interop.py"),
                      command, path});
        python.write(QJsonDocument(values).toJson(QJsonDocument::Compact));
        python.closeWriteChannel();
        const bool ended = python.waitForFinished(30000) && python.exitStatus() == QProcess::NormalExit;
        return {ended ? python.exitCode() : -1, QString::fromUtf8(python.readAll()) + python.errorString()};
    }

private Q_SLOTS:
    void init() {
        m_home = std::make_unique<QTemporaryDir>();
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home->path()));
    }

    void plistlibReadsOurRecords_data() {
        QTest::addColumn<double>("start");
        QTest::addColumn<bool>("flags");
        QTest::newRow("device time step, flags set") << 1700000000.00390625 << true;
        QTest::newRow("before 2001, flags clear") << 1000.5 << false;
    }

    void plistlibReadsOurRecords() {
        QFETCH(double, start);
        QFETCH(bool, flags);
        auto session = makeStoreSession(QStringLiteral("OVR1234567890"), start, 300, 25);
        session->setCrcCorruption(flags);
        session->setAlreadySynced(flags);
        QByteArray page(OVPage::kPageSize, '\0');
        for (int i = 0; i < page.size(); ++i)
            page[i] = char(255 - i % 256);
        OVError error;
        QVERIFY(m_repo.addSession(*session, &error));
        QVERIFY(m_repo.addData(OVPage(311, page), *session, &error));
        QCOMPARE(error.code(), 0);

        auto result = script(QStringLiteral("check-session"), m_repo.getSessionFilePath(*session, &error),
                             storedValues(*session));
        QVERIFY2(result.first == 0, qPrintable(result.second));
        result =
            script(QStringLiteral("check-page"),
                   m_repo.getDirectoryPathForSessionPages(*session, &error) + QStringLiteral("/ov_311.dat"),
                   QJsonObject{{QStringLiteral("pageNumber"), 311},
                               {QStringLiteral("data"), QString::fromLatin1(page.toHex())}});
        QVERIFY2(result.first == 0, qPrintable(result.second));
    }

    void weReadRecordsPlistlibWrote_data() {
        QTest::addColumn<bool>("withFlags");
        QTest::newRow("every key") << true;
        QTest::newRow("without the flags") << false;
    }

    void weReadRecordsPlistlibWrote() {
        QFETCH(bool, withFlags);
        // plistlib keeps microseconds, so the times are whole microseconds.
        auto expected = makeStoreSession(QStringLiteral("OVR5555555555"), 1712345678.25, 7, 4000);
        expected->setUserId(4294967296ULL);
        expected->setCrcCorruption(withFlags);
        expected->setAlreadySynced(withFlags);
        QJsonObject written = storedValues(*expected);
        if (!withFlags) {
            written.remove(QStringLiteral("crcCorruption"));
            written.remove(QStringLiteral("alreadySynced"));
        }
        OVError error;
        const auto result =
            script(QStringLiteral("write-session"), m_repo.getSessionFilePath(*expected, &error), written);
        QVERIFY2(result.first == 0, qPrintable(result.second));

        const std::optional<OVSessionList> all = m_repo.getAllSessions(&error);
        QVERIFY(all && all->size() == 1);
        // deviceUid is not ASCII: plistlib writes it as UTF-16.
        QCOMPARE(storedValues(*all->first()), storedValues(*expected));
    }
};

QTEST_GUILESS_MAIN(tst_SessionRecordInterop)
#include "tst_SessionRecordInterop.moc"
