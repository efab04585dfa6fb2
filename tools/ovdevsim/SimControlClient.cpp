#include "SimControlClient.h"

#include "OrvaneLocalSocket.h"
#include "OrvaneWire.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
bool readExactly(int fd, char* out, qsizetype size) {
    while (size > 0) {
        const ssize_t n = ::recv(fd, out, static_cast<size_t>(size), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        out += n;
        size -= n;
    }
    return true;
}
} // namespace

SimControlClient::SimControlClient(QString socketPath, double waitSeconds)
    : m_socketPath(std::move(socketPath))
    , m_waitSeconds(waitSeconds) {}

std::optional<QJsonObject> SimControlClient::call(const QJsonObject& request, QString* error,
                                                  const std::function<void(const QByteArray&)>& data) {
    QDeadlineTimer deadline(static_cast<qint64>(m_waitSeconds * 1000));
    int fd = OrvaneLocalSocket::connectTo(m_socketPath);
    while (fd < 0 && !deadline.hasExpired()) {
        QThread::msleep(100);
        fd = OrvaneLocalSocket::connectTo(m_socketPath);
    }
    if (fd < 0) {
        *error =
            QStringLiteral("no ovdevsim daemon at %1 (start one with: ovdevsim serve)").arg(m_socketPath);
        return std::nullopt;
    }
    const QByteArray frame =
        OrvaneWire::frame(OrvaneWire::Frame::Control, QJsonDocument(request).toJson(QJsonDocument::Compact));
    if (!OrvaneLocalSocket::writeAll(fd, frame)) {
        ::close(fd);
        *error = QStringLiteral("the daemon closed the connection");
        return std::nullopt;
    }
    for (;;) {
        char header[OrvaneWire::kHeaderSize + 1];
        if (!readExactly(fd, header, sizeof header))
            break;
        quint32 length = 0;
        OrvaneWire::Reader r(QByteArray(header, OrvaneWire::kHeaderSize));
        r.u32(length);
        if (length == 0 || length > OrvaneWire::kMaxFrameSize)
            break;
        QByteArray body(length - 1, Qt::Uninitialized);
        if (!readExactly(fd, body.data(), body.size()))
            break;
        const auto type = static_cast<OrvaneWire::Frame>(header[OrvaneWire::kHeaderSize]);
        if (type == OrvaneWire::Frame::ControlData) {
            if (data)
                data(body);
            continue;
        }
        if (type == OrvaneWire::Frame::ControlReply) {
            ::close(fd);
            const QJsonDocument doc = QJsonDocument::fromJson(body);
            if (!doc.isObject()) {
                *error = QStringLiteral("the daemon's reply is not JSON");
                return std::nullopt;
            }
            return doc.object();
        }
        if (type == OrvaneWire::Frame::Error) {
            ::close(fd);
            *error = QStringLiteral("the daemon refused the request: %1").arg(QString::fromUtf8(body));
            return std::nullopt;
        }
    }
    ::close(fd);
    *error = QStringLiteral("the daemon closed the connection");
    return std::nullopt;
}
