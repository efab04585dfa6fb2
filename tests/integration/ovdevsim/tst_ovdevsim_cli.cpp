// The ovdevsim command line against a real daemon process: each subcommand, its exit status on
// bad input, and devices that outlive a daemon restart.
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
    QString state() const { return m_dir.filePath(QStringLiteral("state")); }

    struct Run {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };
    Run run(QStringList args) const {
        args.prepend(socket());
        args.prepend(QStringLiteral("--socket"));
        QProcess p;
        p.start(QStringLiteral(OVDEVSIM_PATH), args);
        p.waitForFinished(30000);
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
                p.readAllStandardError()};
    }
    void startDaemon() {
        m_daemon.start(QStringLiteral(OVDEVSIM_PATH),
                       {QStringLiteral("--socket"), socket(), QStringLiteral("serve"),
                        QStringLiteral("--state-dir"), state(), QStringLiteral("--preset"),
                        QStringLiteral("zero")});
        QVERIFY(m_daemon.waitForStarted());
        QCOMPARE(run({QStringLiteral("--wait"), QStringLiteral("20"), QStringLiteral("ping")}).exitCode, 0);
    }
    void stopDaemon() {
        m_daemon.terminate();
        QVERIFY(m_daemon.waitForFinished(20000));
        QCOMPARE(m_daemon.exitCode(), 0);
    }
    QJsonObject deviceInList(const QString& serial) const {
        const QJsonArray devices =
            QJsonDocument::fromJson(run({QStringLiteral("list"), QStringLiteral("--json")}).out).array();
        for (const QJsonValue& v : devices) {
            if (v.toObject().value(QStringLiteral("serial")).toString() == serial)
                return v.toObject();
        }
        return {};
    }

private Q_SLOTS:
    void initTestCase() { startDaemon(); }
    void cleanupTestCase() { stopDaemon(); }

    void plugListSessionsAndDump() {
        const Run plug =
            run({QStringLiteral("plug"), QStringLiteral("--serial"), QStringLiteral("OVR0000000000777"),
                 QStringLiteral("--sessions"), QStringLiteral("3"), QStringLiteral("--pages"),
                 QStringLiteral("4,6"), QStringLiteral("--user"), QStringLiteral("101"),
                 QStringLiteral("--default-user"), QStringLiteral("101"), QStringLiteral("--corrupted"),
                 QStringLiteral("1:3"), QStringLiteral("--empty"), QStringLiteral("2")});
        QCOMPARE(plug.exitCode, 0);
        QCOMPARE(plug.out.trimmed(), QByteArray("OVR0000000000777"));
        const QJsonObject device = deviceInList(QStringLiteral("OVR0000000000777"));
        QCOMPARE(device.value(QStringLiteral("mode")).toString(), QStringLiteral("data"));
        QCOMPARE(device.value(QStringLiteral("default_user")).toInt(), 101);
        QCOMPARE(device.value(QStringLiteral("fw_revision")).toString(), QStringLiteral("1.0.9"));

        const QJsonArray sessions =
            QJsonDocument::fromJson(run({QStringLiteral("sessions"), QStringLiteral("OVR0000000000777"),
                                         QStringLiteral("--json")})
                                        .out)
                .array();
        QCOMPARE(sessions.size(), 3);
        QCOMPARE(sessions[0].toObject().value(QStringLiteral("page_count")).toInt(), 4);
        QCOMPARE(sessions[1].toObject().value(QStringLiteral("corruption_status")).toInt(), 3);
        QCOMPARE(sessions[2].toObject().value(QStringLiteral("start_page")).toInt(),
                 sessions[2].toObject().value(QStringLiteral("end_page")).toInt());

        // The dump is the seed's content, byte for byte.
        const Run dump =
            run({QStringLiteral("dump"), QStringLiteral("OVR0000000000777"), QStringLiteral("1")});
        QCOMPARE(dump.exitCode, 0);
        QByteArray expected;
        const quint64 seed = OvSessionContent::sessionSeed(
            OvSessionContent::stableHash(QStringLiteral("OVR0000000000777")), 1);
        for (quint32 p = 0; p < 6; ++p)
            expected += OvSessionContent::page(seed, p);
        QCOMPARE(dump.out, expected);
    }

    void maintenanceCommandsChangeTheDevice() {
        QCOMPARE(run({QStringLiteral("plug"), QStringLiteral("--serial"), QStringLiteral("OVR0000000000888")})
                     .exitCode,
                 0);
        QCOMPARE(run({QStringLiteral("battery"), QStringLiteral("OVR0000000000888"), QStringLiteral("12")})
                     .exitCode,
                 0);
        QCOMPARE(
            run({QStringLiteral("fault"), QStringLiteral("OVR0000000000888"), QStringLiteral("--fail-page"),
                 QStringLiteral("20"), QStringLiteral("--times"), QStringLiteral("2")})
                .exitCode,
            0);
        QJsonObject device = deviceInList(QStringLiteral("OVR0000000000888"));
        QCOMPARE(device.value(QStringLiteral("battery")).toInt(), 12);
        QCOMPARE(device.value(QStringLiteral("faults")).toArray().size(), 1);
        QCOMPARE(run({QStringLiteral("clear-faults"), QStringLiteral("OVR0000000000888")}).exitCode, 0);
        QCOMPARE(run({QStringLiteral("recovery"), QStringLiteral("OVR0000000000888")}).exitCode, 0);
        device = deviceInList(QStringLiteral("OVR0000000000888"));
        QCOMPARE(device.value(QStringLiteral("faults")).toArray().size(), 0);
        QCOMPARE(device.value(QStringLiteral("mode")).toString(), QStringLiteral("recovery"));
        QCOMPARE(run({QStringLiteral("unplug"), QStringLiteral("OVR0000000000888")}).exitCode, 0);
        QCOMPARE(deviceInList(QStringLiteral("OVR0000000000888")).value(QStringLiteral("attached")).toBool(),
                 false);
        QCOMPARE(run({QStringLiteral("replug"), QStringLiteral("OVR0000000000888")}).exitCode, 0);
        QTRY_COMPARE(
            deviceInList(QStringLiteral("OVR0000000000888")).value(QStringLiteral("attached")).toBool(),
            true);

        const Run hid =
            run({QStringLiteral("add-hid"), QStringLiteral("--location"), QStringLiteral("0x14900000")});
        QCOMPARE(hid.exitCode, 0);
        QCOMPARE(
            deviceInList(QString::fromUtf8(hid.out.trimmed())).value(QStringLiteral("location")).toString(),
            QStringLiteral("0x14900000"));
        QVERIFY(run({QStringLiteral("link"), QStringLiteral("--latency-us"), QStringLiteral("0")})
                    .out.contains("latency 0 us"));
    }

    void badInputGetsAClearMessageAndExitStatus_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown command")
            << QStringList{QStringLiteral("frobnicate")} << 2 << "unknown command";
        QTest::newRow("missing serial") << QStringList{QStringLiteral("unplug")} << 2 << "takes 1 argument";
        QTest::newRow("battery out of range")
            << QStringList{QStringLiteral("battery"), QStringLiteral("X"), QStringLiteral("101")} << 2
            << "LEVEL must be from 0 to 100";
        QTest::newRow("two fault kinds")
            << QStringList{QStringLiteral("fault"), QStringLiteral("X"), QStringLiteral("--refuse"),
                           QStringLiteral("--no-answer")}
            << 2 << "exactly one fault kind";
        QTest::newRow("short serial")
            << QStringList{QStringLiteral("plug"), QStringLiteral("--serial"), QStringLiteral("OVR1")} << 1
            << "12 to 32";
        QTest::newRow("pages below two")
            << QStringList{QStringLiteral("plug"), QStringLiteral("--pages"), QStringLiteral("1")} << 2
            << "--pages";
        QTest::newRow("unknown serial")
            << QStringList{QStringLiteral("unplug"), QStringLiteral("OVR9999999999999")} << 1
            << "no device with serial";
        QTest::newRow("session index out of range")
            << QStringList{QStringLiteral("dump"), QStringLiteral("OVR0000000000777"), QStringLiteral("9")}
            << 1 << "has no session 9";
        QTest::newRow("bad firmware text")
            << QStringList{QStringLiteral("plug"), QStringLiteral("--firmware"), QStringLiteral("1.x")} << 1
            << "MAJOR.MINOR.PATCH";
        QTest::newRow("help of a command")
            << QStringList{QStringLiteral("fault"), QStringLiteral("--help")} << 0 << "";
    }
    void badInputGetsAClearMessageAndExitStatus() {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        const Run r = run(args);
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2(QString::fromUtf8(r.err).contains(message), r.err.constData());
        QCOMPARE(run({QStringLiteral("ping")}).exitCode, 0); // the daemon is still there
    }

    void noDaemonMeansExitStatusThree() {
        QProcess p;
        p.start(QStringLiteral(OVDEVSIM_PATH),
                {QStringLiteral("--socket"), m_dir.filePath(QStringLiteral("none.sock")),
                 QStringLiteral("list")});
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitCode(), 3);
    }

    void devicesOutliveADaemonRestart() {
        stopDaemon();
        startDaemon();
        const QJsonObject device = deviceInList(QStringLiteral("OVR0000000000777"));
        QCOMPARE(device.value(QStringLiteral("attached")).toBool(), true);
        QCOMPARE(device.value(QStringLiteral("sessions")).toInt(), 3);
        QCOMPARE(device.value(QStringLiteral("default_user")).toInt(), 101);
        const Run again = run({QStringLiteral("plug"), QStringLiteral("--serial"),
                               QStringLiteral("OVR0000000000777"), QStringLiteral("--reuse")});
        QCOMPARE(again.exitCode, 0);
        QCOMPARE(again.out.trimmed(), QByteArray("OVR0000000000777"));
    }
};

QTEST_GUILESS_MAIN(tst_ovdevsim_cli)
#include "tst_ovdevsim_cli.moc"
