#include "OVControlClient.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QLocalSocket>

namespace {
constexpr int kConnectTimeoutMs = 2000;
}

OVControlClient::OVControlClient(QString socketPath)
    : m_socketPath(std::move(socketPath)) {}

bool OVControlClient::isInstanceRunning() const {
    QLocalSocket socket;
    socket.connectToServer(m_socketPath);
    const bool connected = socket.waitForConnected(kConnectTimeoutMs);
    socket.abort();
    return connected;
}

OVControlClient::Result OVControlClient::send(const QJsonObject& request, int timeoutMs) const {
    Result result;
    QLocalSocket socket;
    socket.connectToServer(m_socketPath);
    if (!socket.waitForConnected(kConnectTimeoutMs)) {
        result.outcome = Outcome::NoInstance;
        result.errorText = socket.errorString();
        return result;
    }
    socket.write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
    const QDeadlineTimer deadline(timeoutMs);
    while (!socket.canReadLine() && socket.state() == QLocalSocket::ConnectedState && !deadline.hasExpired())
        socket.waitForReadyRead(int(qMin<qint64>(deadline.remainingTime(), 500)));
    if (!socket.canReadLine()) {
        result.errorText = deadline.hasExpired() ? QStringLiteral("No answer from OvServices")
                                                 : QStringLiteral("OvServices closed the connection");
        return result;
    }
    const QJsonDocument document = QJsonDocument::fromJson(socket.readLine());
    if (!document.isObject()) {
        result.errorText = QStringLiteral("Malformed answer from OvServices");
        return result;
    }
    result.outcome = Outcome::Answered;
    result.answer = document.object();
    return result;
}
