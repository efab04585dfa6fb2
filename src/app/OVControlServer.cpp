#include "OVControlServer.h"

#include "OVLogger.h"

#include <QDir>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QStandardPaths>

namespace {
QString controlErrorDomain() {
    return QStringLiteral("OVControlServer");
}
} // namespace

OVControlServer::OVControlServer(QObject* parent)
    : QObject(parent) {
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, &OVControlServer::onNewConnection);
}

OVControlServer::~OVControlServer() {
    m_server.close();
}

QString OVControlServer::socketPath() {
    // Qt makes the runtime directory (0700) when XDG_RUNTIME_DIR is unset.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return QDir(runtime).filePath(QStringLiteral("ovservices.sock"));
}

void OVControlServer::setHandler(const QString& command, Handler handler) {
    m_handlers.insert(command, std::move(handler));
}

OVControlServer::Listen OVControlServer::listen(const QString& path, OVError* error) {
    // Two launches at once both find no socket; only one of them gets the lock.
    auto lock = std::make_unique<QLockFile>(path + QStringLiteral(".lock"));
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        if (lock->error() == QLockFile::LockFailedError)
            return Listen::AlreadyRunning;
        OVError::set(error, OVError(controlErrorDomain(), int(lock->error()),
                                    QStringLiteral("Cannot create %1").arg(path + QStringLiteral(".lock"))));
        return Listen::Failed;
    }
    QLocalServer::removeServer(path);
    if (!m_server.listen(path)) {
        OVError::set(error,
                     OVError(controlErrorDomain(), int(m_server.serverError()), m_server.errorString()));
        return Listen::Failed;
    }
    m_instanceLock = std::move(lock);
    return Listen::Listening;
}

QJsonObject OVControlServer::success(QJsonObject answer) {
    answer.insert(QStringLiteral("ok"), true);
    return answer;
}

QJsonObject OVControlServer::failure(const QString& errorText) {
    return QJsonObject{{QStringLiteral("ok"), false}, {QStringLiteral("error"), errorText}};
}

void OVControlServer::onNewConnection() {
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        // Bytes that came with the connection gave no readyRead to the connection above.
        if (socket->bytesAvailable() > 0)
            onReadyRead(socket);
    }
}

void OVControlServer::onReadyRead(QLocalSocket* socket) {
    if (socket->property("answered").toBool())
        return;
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > kMaxRequestSize) {
            socket->setProperty("answered", true);
            send(socket, failure(QStringLiteral("Request too long")));
        }
        return;
    }
    socket->setProperty("answered", true);
    dispatch(socket, socket->readLine(kMaxRequestSize).trimmed());
}

void OVControlServer::dispatch(QLocalSocket* socket, const QByteArray& line) {
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(line, &parseError);
    if (!document.isObject()) {
        send(socket, failure(QStringLiteral("Malformed request: %1").arg(parseError.errorString())));
        return;
    }
    const QJsonObject request = document.object();
    const QString command = request.value(QStringLiteral("command")).toString();
    const auto handler = m_handlers.constFind(command);
    if (handler == m_handlers.constEnd()) {
        OVLog("Control: unknown command %@", command);
        send(socket, failure(QStringLiteral("Unknown command \"%1\"").arg(command)));
        return;
    }
    OVLog("Control: %@", command);
    QPointer<QLocalSocket> guard(socket);
    (*handler)(request, [guard](const QJsonObject& answer) {
        if (guard)
            send(guard, answer);
    });
}

void OVControlServer::send(QLocalSocket* socket, const QJsonObject& answer) {
    socket->write(QJsonDocument(answer).toJson(QJsonDocument::Compact) + '\n');
    socket->disconnectFromServer();
}
