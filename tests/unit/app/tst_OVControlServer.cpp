#include "OVControlServer.h"

#include <QJsonDocument>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <future>

namespace {
/** Runs a blocking client call on a thread of its own while this thread serves the server's event loop. */
template <typename Call> auto runBesideEventLoop(Call call) {
    auto result = std::async(std::launch::async, std::move(call));
    while (result.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return result.get();
}
} // namespace

class tst_OVControlServer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() {
        m_server = std::make_unique<OVControlServer>();
        m_server->setHandler(QStringLiteral("echo"),
                             [](const QJsonObject& request, const OVControlServer::Reply& reply) {
                                 reply(OVControlServer::success(
                                     {{QStringLiteral("echo"), request.value(QStringLiteral("text"))}}));
                             });
        // Answers from the event loop, after the handler returned.
        m_server->setHandler(QStringLiteral("later"),
                             [](const QJsonObject&, const OVControlServer::Reply& reply) {
                                 QTimer::singleShot(50, [reply] {
                                     reply(OVControlServer::failure(QStringLiteral("refused later")));
                                 });
                             });
        OVError error;
        QCOMPARE(m_server->listen(path(), &error), OVControlServer::Listen::Listening);
    }

    void answers_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("expected");
        QTest::newRow("handled") << QByteArray("{\"command\":\"echo\",\"text\":\"hi\"}\n") << true << "hi";
        QTest::newRow("answered after the handler returned")
            << QByteArray("{\"command\":\"later\"}\n") << false << "refused later";
        QTest::newRow("unknown command")
            << QByteArray("{\"command\":\"dance\"}\n") << false << R"(Unknown command "dance")";
        QTest::newRow("not JSON") << QByteArray("status please\n") << false << "Malformed request";
        QTest::newRow("JSON but not an object")
            << QByteArray("[\"status\"]\n") << false << "Malformed request";
        // Refused before its end arrives, which may be never.
        QTest::newRow("too long without an end")
            << QByteArray(OVControlServer::kMaxRequestSize + 10, 'x') << false << "Request too long";
    }
    void answers() {
        QFETCH(QByteArray, line);
        QFETCH(bool, ok);
        QFETCH(QString, expected);
        const QJsonObject answer = runBesideEventLoop([this, line] { return exchange(line); });
        QCOMPARE(answer.value(QStringLiteral("ok")).toBool(), ok);
        const QString text = answer.value(ok ? QStringLiteral("echo") : QStringLiteral("error")).toString();
        QVERIFY2(text.startsWith(expected), qPrintable(text));
    }

    void aClientGoneBeforeTheAnswerIsNoHarm() {
        runBesideEventLoop([this] { return exchange("{\"command\":\"later\"}\n", false); });
        QTest::qWait(150); // the late answer finds no socket; the server goes on serving
        const QJsonObject answer =
            runBesideEventLoop([this] { return exchange("{\"command\":\"echo\"}\n"); });
        QVERIFY(answer.value(QStringLiteral("ok")).toBool());
    }

private:
    QString path() const { return m_dir.filePath(QStringLiteral("ovservices.sock")); }

    /** Sends bytes and reads the answer line, or leaves before it comes. */
    QJsonObject exchange(const QByteArray& bytes, bool waitForAnswer = true) const {
        QLocalSocket socket;
        socket.connectToServer(path());
        if (!socket.waitForConnected(2000))
            return {};
        socket.write(bytes);
        if (!waitForAnswer) {
            socket.waitForBytesWritten(2000);
            return {};
        }
        while (!socket.canReadLine() && socket.waitForReadyRead(5000)) {
        }
        return QJsonDocument::fromJson(socket.readLine()).object();
    }

    QTemporaryDir m_dir;
    std::unique_ptr<OVControlServer> m_server;
};

QTEST_GUILESS_MAIN(tst_OVControlServer)
#include "tst_OVControlServer.moc"
