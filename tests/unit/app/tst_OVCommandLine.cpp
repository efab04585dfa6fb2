#include "ControlTestSupport.h"
#include "OVCommandLine.h"
#include "OVControlServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

using Action = OVCommandLine::Action;

namespace {
QStringList words(const char* text) {
    return QString::fromLatin1(text).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}
QString text(const char* t) {
    return QString::fromUtf8(t);
}
} // namespace
Q_DECLARE_METATYPE(OVCommandLine::Action)

class tst_OVCommandLine : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void parses_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<Action>("action");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("the service") << words("") << Action::RunService << 0;
        QTest::newRow("headless service") << words("--headless") << Action::RunService << 0;
        QTest::newRow("help") << words("status --help") << Action::Exit << 0;
        QTest::newRow("status as JSON") << words("status --json") << Action::RunCommand << 0;
        QTest::newRow("sync one device") << words("sync OVR0000000000101") << Action::RunCommand << 0;
        QTest::newRow("sign-in without user") << words("sign-in") << Action::Exit << 2;
        QTest::newRow("sign-in with an empty user")
            << QStringList{QStringLiteral("sign-in"), QString()} << Action::Exit << 2;
        QTest::newRow("sign-in with two users") << words("sign-in a b") << Action::Exit << 2;
        QTest::newRow("sync two devices") << words("sync a b") << Action::Exit << 2;
        QTest::newRow("quit with an argument") << words("quit now") << Action::Exit << 2;
        QTest::newRow("unknown command") << words("frobnicate") << Action::Exit << 2;
        QTest::newRow("unknown option") << words("status --yaml") << Action::Exit << 2;
        QTest::newRow("JSON for another command") << words("sync --json") << Action::Exit << 2;
        QTest::newRow("JSON without command") << words("--json") << Action::Exit << 2;
        QTest::newRow("headless with a command") << words("--headless quit") << Action::Exit << 2;
    }
    void parses() {
        QFETCH(QStringList, arguments);
        QFETCH(Action, action);
        QFETCH(int, exitCode);
        const OVCommandLine commandLine(QStringList{QStringLiteral("ovservices")} + arguments);
        QCOMPARE(commandLine.action(), action);
        if (action == Action::Exit)
            QCOMPARE(commandLine.exitCode(), exitCode);
    }

    void exitCodes_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("running");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("request");
        QTest::addColumn<QString>("stderrText");
        QTest::newRow("no instance") << words("status") << false << 3 << text("") << text("not running");
        QTest::newRow("sync without instance")
            << words("sync") << false << 3 << text("") << text("not running");
        QTest::newRow("done") << words("quit") << true << 0 << text(R"({"command":"quit"})") << text("");
        QTest::newRow("refused, reason on stderr")
            << words("sync OVR0000000000999") << true << 1
            << text(R"({"command":"sync","serial":"OVR0000000000999"})")
            << text("Device OVR0000000000999 not found");
        QTest::newRow("sign-in refused")
            << words("sign-in coach") << true << 1
            << text(R"({"command":"sign-in","password":"pw","username":"coach"})")
            << text("Authentication failed: wrong");
    }
    void exitCodes() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, running);
        QFETCH(int, exitCode);
        QFETCH(QString, request);
        QFETCH(QString, stderrText);

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("ovservices.sock"));
        OVControlServer server;
        QString seen;
        const auto record = [&seen](const QJsonObject& r, const OVControlServer::Reply& reply) {
            seen = QString::fromUtf8(QJsonDocument(r).toJson(QJsonDocument::Compact));
            if (r.contains(QStringLiteral("serial")))
                reply(OVControlServer::failure(
                    QStringLiteral("Device %1 not found").arg(r[QStringLiteral("serial")].toString())));
            else if (r.contains(QStringLiteral("password")))
                reply(OVControlServer::failure(QStringLiteral("wrong")));
            else
                reply(OVControlServer::success());
        };
        for (const char* command : {"quit", "sync", "sign-in", "status"})
            server.setHandler(QString::fromLatin1(command), record);
        if (running)
            QVERIFY(server.listen(path, nullptr));

        const OVCommandLine commandLine(QStringList{QStringLiteral("ovservices")} + arguments);
        QString out, err;
        const int code = runBesideEventLoop([&] {
            QTextStream outStream(&out), errStream(&err);
            return commandLine.runCommand(path, outStream, errStream, [] { return QStringLiteral("pw"); });
        });
        QCOMPARE(code, exitCode);
        QCOMPARE(seen, request);
        QVERIFY2(err.contains(stderrText), qPrintable(err));
    }

    void statusPrintsTheInstancesReport_data() {
        QTest::addColumn<bool>("json");
        QTest::newRow("table") << false;
        QTest::newRow("JSON") << true;
    }
    void statusPrintsTheInstancesReport() {
        QFETCH(bool, json);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("ovservices.sock"));
        const QJsonObject report{
            {QStringLiteral("user"), QJsonObject{{QStringLiteral("username"), QStringLiteral("coach")}}},
            {QStringLiteral("devices"), QJsonArray{}},
            {QStringLiteral("storing"), false},
            {QStringLiteral("syncing"), true}};
        OVControlServer server;
        server.setHandler(QStringLiteral("status"),
                          [&](const QJsonObject&, const OVControlServer::Reply& reply) {
                              reply(OVControlServer::success({{QStringLiteral("status"), report}}));
                          });
        QVERIFY(server.listen(path, nullptr));
        QStringList arguments{QStringLiteral("ovservices"), QStringLiteral("status")};
        if (json)
            arguments << QStringLiteral("--json");
        QString out, err;
        const int code = runBesideEventLoop([&] {
            QTextStream outStream(&out), errStream(&err);
            return OVCommandLine(arguments).runCommand(path, outStream, errStream);
        });
        QCOMPARE(code, 0);
        if (json)
            QCOMPARE(QJsonDocument::fromJson(out.toUtf8()).object(), report);
        else
            QVERIFY2(out.contains(QStringLiteral("User: coach")) &&
                         out.contains(QStringLiteral("Syncing: yes")),
                     qPrintable(out));
    }
};

QTEST_GUILESS_MAIN(tst_OVCommandLine)
#include "tst_OVCommandLine.moc"
