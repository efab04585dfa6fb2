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
                             [](const QJsonObject&, const OVControlServer::Reply& reply) {
                                 reply(OVControlServer::success({}));
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

    // Handled requests are the command line's end-to-end tests; these never reach a handler.
    void badRequestsAreRefusedWithAReason_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("expected");
        QTest::newRow("unknown command")
            << QByteArray("{\"command\":\"dance\"}\n") << R"(Unknown command "dance")";
        QTest::newRow("not JSON") << QByteArray("status please\n") << "Malformed request";
        QTest::newRow("JSON but not an object") << QByteArray("[\"status\"]\n") << "Malformed request";
        // Refused before its end arrives, which may be never.
        QTest::newRow("too long without an end")
            << QByteArray(OVControlServer::kMaxRequestSize + 10, 'x') << "Request too long";
    }
    void badRequestsAreRefusedWithAReason() {
        QFETCH(QByteArray, line);
        QFETCH(QString, expected);
        const QJsonObject answer = runBesideEventLoop([this, line] { return exchange(line); });
        QCOMPARE(answer.value(QStringLiteral("ok")), QJsonValue(false));
        const QString text = answer.value(QStringLiteral("error")).toString();
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
