#pragma once

#include "OVError.h"

#include <QHash>
#include <QJsonObject>
#include <QLocalServer>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QLocalSocket;
class QLockFile;

/**
 * The running instance's control socket, `$XDG_RUNTIME_DIR/ovservices.sock`, readable by its user
 * only. A client writes one JSON object on one line, {"command": NAME, ...}; the server answers one
 * JSON object on one line, {"ok": true, ...} or {"ok": false, "error": TEXT}, and closes.
 *
 * Lives on the main thread; handlers run there and may answer later (an answer to a client that
 * went away is dropped).
 */
class OVControlServer : public QObject {
    Q_OBJECT
public:
    /** Answers the request; call it once, from the main thread. */
    using Reply = std::function<void(const QJsonObject& answer)>;
    using Handler = std::function<void(const QJsonObject& request, const Reply& reply)>;

    /** Longest request line taken; a longer one is refused. */
    static constexpr qint64 kMaxRequestSize = 64 * 1024;

    explicit OVControlServer(QObject* parent = nullptr);
    ~OVControlServer() override;

    /** The socket of this user's instance. */
    static QString socketPath();

    void setHandler(const QString& command, Handler handler);
    enum class Listen { Listening, AlreadyRunning, Failed };
    /**
     * Claims the instance (a lock file beside the socket, held while the server lives), then listens
     * on path, replacing a socket file left by a process that died. AlreadyRunning when another live
     * process holds the claim; Failed, with *error, when the socket cannot be made.
     */
    Listen listen(const QString& path, OVError* error);

    static QJsonObject success(QJsonObject answer = {});
    static QJsonObject failure(const QString& errorText);

private:
    void onNewConnection();
    void onReadyRead(QLocalSocket* socket);
    void dispatch(QLocalSocket* socket, const QByteArray& line);
    static void send(QLocalSocket* socket, const QJsonObject& answer);

    std::unique_ptr<QLockFile> m_instanceLock;
    QLocalServer m_server;
    QHash<QString, Handler> m_handlers;
};
