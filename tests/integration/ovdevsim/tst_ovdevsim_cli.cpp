// The ovdevsim command line against a real daemon process: the maintenance subcommands and the exit
// status on bad input. Plugging, listing, session lists and dumps are what the end-to-end tests
// drive the emulator with; the rules of a new device's options are SimPlugOptions's.
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class tst_ovdevsim_cli : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;

    QString socket() const { return m_dir.filePath(QStringLiteral("d.sock")); }

    struct Run {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };
    /** Runs the command line given as words separated by single spaces. */
    Run run(const char* words) const {
        const QStringList args = QStringList{QStringLiteral("--socket"), socket()} +
                                 QString::fromUtf8(words).split(QLatin1Char(' '));
        QProcess p;
        p.start(QStringLiteral(OVDEVSIM_PATH), args);
        p.waitForFinished(30000);
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
                p.readAllStandardError()};
    }
    /** The field `key` of the listed device `serial`; undefined when it is not listed. */
    QJsonValue listed(const QString& serial, const char* key) const {
        for (const QJsonValue& v : QJsonDocument::fromJson(run("list --json").out).array()) {
            if (v[QLatin1String("serial")].toString() == serial)
                return v[QLatin1String(key)];
        }
        return {};
    }

private Q_SLOTS:
    void initTestCase() {
        m_daemon.start(QStringLiteral(OVDEVSIM_PATH),
                       {QStringLiteral("--socket"), socket(), QStringLiteral("serve"),
                        QStringLiteral("--state-dir"), m_dir.filePath(QStringLiteral("state")),
                        QStringLiteral("--preset"), QStringLiteral("zero")});
        QVERIFY(m_daemon.waitForStarted());
        QCOMPARE(run("--wait 20 ping").exitCode, 0);
    }
    void cleanupTestCase() {
        m_daemon.terminate();
        QVERIFY(m_daemon.waitForFinished(20000));
        QCOMPARE(m_daemon.exitCode(), 0);
    }

    // Faults, plugging and unplugging are the end-to-end tests' tools; these are the others.
    void maintenanceCommandsChangeTheDevice() {
        const QString serial = QStringLiteral("OVR0000000000888");
        for (const char* words : {"plug --serial OVR0000000000888", "battery OVR0000000000888 12",
                                  "recovery OVR0000000000888", "unplug OVR0000000000888"})
            QVERIFY2(run(words).exitCode == 0, words);
        QCOMPARE(listed(serial, "battery"), 12);
        QCOMPARE(listed(serial, "mode"), QStringLiteral("recovery"));
        QCOMPARE(run("replug OVR0000000000888").exitCode, 0);
        QTRY_COMPARE(listed(serial, "attached"), true);

        const Run hid = run("add-hid --location 0x14900000");
        QCOMPARE(hid.exitCode, 0);
        QCOMPARE(listed(QString::fromUtf8(hid.out.trimmed()), "location"), QStringLiteral("0x14900000"));
        QVERIFY(run("link --latency-us 0").out.contains("latency 0 us"));
    }

    void badInputGetsAClearMessageAndExitStatus_data() {
        QTest::addColumn<QByteArray>("words");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown command") << QByteArray("frobnicate") << 2 << "unknown command";
        QTest::newRow("missing serial") << QByteArray("unplug") << 2 << "takes 1 argument";
        QTest::newRow("battery out of range")
            << QByteArray("battery X 101") << 2 << "LEVEL must be from 0 to 100";
        QTest::newRow("two fault kinds")
            << QByteArray("fault X --refuse --no-answer") << 2 << "exactly one fault kind";
        QTest::newRow("unknown serial")
            << QByteArray("unplug OVR9999999999999") << 1 << "no device with serial";
        QTest::newRow("session index out of range")
            << QByteArray("dump OVR0000000000888 9") << 1 << "has no session 9";
        QTest::newRow("help of a command") << QByteArray("fault --help") << 0 << "";
        QTest::newRow("no daemon: the last --socket counts")
            << QByteArray("--socket /nonexistent/d.sock list") << 3 << "";
    }
    void badInputGetsAClearMessageAndExitStatus() {
        QFETCH(QByteArray, words);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        const Run r = run(words.constData());
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2(QString::fromUtf8(r.err).contains(message), r.err.constData());
        QCOMPARE(run("ping").exitCode, 0); // the daemon is still there
    }
};

QTEST_GUILESS_MAIN(tst_ovdevsim_cli)
#include "tst_ovdevsim_cli.moc"
