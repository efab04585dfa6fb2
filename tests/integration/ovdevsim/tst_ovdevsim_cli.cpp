// The ovdevsim command line against a real daemon process: each subcommand and its exit status on
// bad input (the rules of a new device's options are OvPlugOptions's).
#include "OvSessionContent.h"
#include "OvVirtualDevice.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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
    Run run(const char* words) const { return run(QString::fromUtf8(words).split(QLatin1Char(' '))); }
    Run run(QStringList args) const {
        args.prepend(socket());
        args.prepend(QStringLiteral("--socket"));
        QProcess p;
        p.start(QStringLiteral(OVDEVSIM_PATH), args);
        p.waitForFinished(30000);
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
                p.readAllStandardError()};
    }
    QJsonObject deviceInList(const QString& serial) const {
        const QJsonArray devices = QJsonDocument::fromJson(run("list --json").out).array();
        for (const QJsonValue& v : devices) {
            if (v.toObject().value(QStringLiteral("serial")).toString() == serial)
                return v.toObject();
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

    void plugListSessionsAndDump() {
        const Run plug = run("plug --serial OVR0000000000777 --sessions 3 --pages 4,6 --user 101 "
                             "--default-user 101 --corrupted 1:3 --empty 2");
        QCOMPARE(plug.exitCode, 0);
        QCOMPARE(plug.out.trimmed(), QByteArray("OVR0000000000777"));
        const QJsonObject device = deviceInList(QStringLiteral("OVR0000000000777"));
        QCOMPARE(device.value(QStringLiteral("mode")).toString(), QStringLiteral("data"));
        QCOMPARE(device.value(QStringLiteral("default_user")).toInt(), 101);
        QCOMPARE(device.value(QStringLiteral("fw_revision")).toString(), QStringLiteral("1.0.9"));

        const QJsonArray sessions =
            QJsonDocument::fromJson(run("sessions OVR0000000000777 --json").out).array();
        QCOMPARE(sessions.size(), 3);
        QCOMPARE(sessions[0].toObject().value(QStringLiteral("page_count")).toInt(), 4);
        QCOMPARE(sessions[1].toObject().value(QStringLiteral("corruption_status")).toInt(), 3);
        QCOMPARE(sessions[2].toObject().value(QStringLiteral("start_page")).toInt(),
                 sessions[2].toObject().value(QStringLiteral("end_page")).toInt());

        // The dump is the seed's content, byte for byte.
        const Run dump = run("dump OVR0000000000777 1");
        QCOMPARE(dump.exitCode, 0);
        QByteArray expected;
        const quint64 seed = OvSessionContent::sessionSeed(
            OvSessionContent::stableHash(QStringLiteral("OVR0000000000777")), 1);
        for (quint32 p = 0; p < 6; ++p)
            expected += OvSessionContent::page(seed, p);
        QCOMPARE(dump.out, expected);

        const Run again = run("plug --serial OVR0000000000777 --reuse");
        QCOMPARE(again.exitCode, 0);
        QCOMPARE(again.out.trimmed(), QByteArray("OVR0000000000777"));
        QCOMPARE(deviceInList(QStringLiteral("OVR0000000000777")).value(QStringLiteral("sessions")).toInt(),
                 3);
    }

    void maintenanceCommandsChangeTheDevice() {
        QCOMPARE(run("plug --serial OVR0000000000888").exitCode, 0);
        QCOMPARE(run("battery OVR0000000000888 12").exitCode, 0);
        QCOMPARE(run("fault OVR0000000000888 --fail-page 20 --times 2").exitCode, 0);
        QJsonObject device = deviceInList(QStringLiteral("OVR0000000000888"));
        QCOMPARE(device.value(QStringLiteral("battery")).toInt(), 12);
        QCOMPARE(device.value(QStringLiteral("faults")).toArray().size(), 1);
        QCOMPARE(run("clear-faults OVR0000000000888").exitCode, 0);
        QCOMPARE(run("recovery OVR0000000000888").exitCode, 0);
        device = deviceInList(QStringLiteral("OVR0000000000888"));
        QCOMPARE(device.value(QStringLiteral("faults")).toArray().size(), 0);
        QCOMPARE(device.value(QStringLiteral("mode")).toString(), QStringLiteral("recovery"));
        QCOMPARE(run("unplug OVR0000000000888").exitCode, 0);
        QCOMPARE(deviceInList(QStringLiteral("OVR0000000000888")).value(QStringLiteral("attached")).toBool(),
                 false);
        QCOMPARE(run("replug OVR0000000000888").exitCode, 0);
        QTRY_COMPARE(
            deviceInList(QStringLiteral("OVR0000000000888")).value(QStringLiteral("attached")).toBool(),
            true);

        const Run hid = run("add-hid --location 0x14900000");
        QCOMPARE(hid.exitCode, 0);
        QCOMPARE(
            deviceInList(QString::fromUtf8(hid.out.trimmed())).value(QStringLiteral("location")).toString(),
            QStringLiteral("0x14900000"));
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
        QTest::newRow("pages below two") << QByteArray("plug --pages 1") << 2 << "--pages";
        QTest::newRow("unknown serial")
            << QByteArray("unplug OVR9999999999999") << 1 << "no device with serial";
        QTest::newRow("session index out of range")
            << QByteArray("dump OVR0000000000777 9") << 1 << "has no session 9";
        QTest::newRow("help of a command") << QByteArray("fault --help") << 0 << "";
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

    void noDaemonMeansExitStatusThree() {
        QProcess p;
        p.start(QStringLiteral(OVDEVSIM_PATH),
                {QStringLiteral("--socket"), m_dir.filePath(QStringLiteral("none.sock")),
                 QStringLiteral("list")});
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitCode(), 3);
    }
};

QTEST_GUILESS_MAIN(tst_ovdevsim_cli)
#include "tst_ovdevsim_cli.moc"
