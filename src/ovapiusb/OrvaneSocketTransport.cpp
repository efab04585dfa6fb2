#include "OrvaneSocketTransport.h"

#include "OrvaneLocalSocket.h"
#include "OrvaneWire.h"

#include <QDir>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

OrvaneSocketTransport::OrvaneSocketTransport(QString socketPath)
    : m_socketPath(std::move(socketPath)) {}

OrvaneSocketTransport::~OrvaneSocketTransport() {
    stop();
}

QString OrvaneSocketTransport::defaultSocketPath() {
    const QString explicitPath = qEnvironmentVariable("OV_DEVSIM_SOCKET");
    if (!explicitPath.isEmpty())
        return explicitPath;
    const QString runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtimeDir.isEmpty())
        return QDir(runtimeDir).filePath(QStringLiteral("ovdevsim.sock"));
    return QStringLiteral("/tmp/ovdevsim-%1.sock").arg(::getuid());
}

void OrvaneSocketTransport::start(OrvaneTransportListener* listener) {
    if (m_thread.joinable())
        return;
    m_listener = listener;
    m_stopping.store(false);
    m_thread = std::thread([this] { run(); });
}

void OrvaneSocketTransport::stop() {
    m_stopping.store(true);
    {
        std::lock_guard<std::mutex> lock(m_writeMutex);
        const int fd = m_fd.load();
        if (fd >= 0)
            ::shutdown(fd, SHUT_RDWR); // wakes the reader
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_connection; // every send() still waiting gives up
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

bool OrvaneSocketTransport::send(const OrvaneRequest& request) {
    const QByteArray frame =
        OrvaneWire::frame(OrvaneWire::Frame::Request, OrvaneWire::encodeRequest(request));
    quint64 connection = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        connection = m_connection;
        m_acceptWaits[request.id] = AcceptWait();
    }
    bool written = false;
    {
        std::lock_guard<std::mutex> lock(m_writeMutex);
        const int fd = m_fd.load();
        written = fd >= 0 && !m_stopping.load() && OrvaneLocalSocket::writeAll(fd, frame);
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    bool accepted = false;
    if (written) {
        m_wake.wait_for(lock, std::chrono::milliseconds(kAcceptTimeoutMs),
                        [&] { return m_acceptWaits[request.id].answered || m_connection != connection; });
        const AcceptWait& wait = m_acceptWaits[request.id];
        accepted = wait.answered && wait.accepted;
    }
    m_acceptWaits.erase(request.id);
    return accepted;
}

void OrvaneSocketTransport::run() {
    while (!m_stopping.load()) {
        const int fd = OrvaneLocalSocket::connectTo(m_socketPath);
        if (fd >= 0) {
            OrvaneLocalSocket::setSendTimeout(fd);
            bool live = false;
            {
                std::lock_guard<std::mutex> lock(m_writeMutex);
                if (!m_stopping.load()) {
                    m_fd.store(fd);
                    OrvaneWire::Writer hello;
                    hello.u32(OrvaneWire::kProtocolVersion);
                    live = OrvaneLocalSocket::writeAll(
                        fd, OrvaneWire::frame(OrvaneWire::Frame::Hello, hello.bytes()));
                }
            }
            if (live)
                readSession(fd);
            dropConnection(fd);
        }
        std::unique_lock<std::mutex> lock(m_mutex);
        m_wake.wait_for(lock, std::chrono::milliseconds(kReconnectIntervalMs),
                        [this] { return m_stopping.load(); });
    }
}

bool OrvaneSocketTransport::readSession(int fd) {
    QByteArray buffer;
    qsizetype consumed = 0;
    char chunk[OrvaneLocalSocket::kReadChunk];
    for (;;) {
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        buffer.append(chunk, n);
        for (;;) {
            const qsizetype available = buffer.size() - consumed;
            if (available < OrvaneWire::kHeaderSize + 1)
                break;
            quint32 length = 0;
            OrvaneWire::Reader header(buffer, consumed);
            header.u32(length);
            if (length == 0 || length > OrvaneWire::kMaxFrameSize)
                return false; // not our daemon, or a broken one: start over
            if (available < OrvaneWire::kHeaderSize + static_cast<qsizetype>(length))
                break;
            const quint8 type = static_cast<quint8>(buffer.at(consumed + OrvaneWire::kHeaderSize));
            handleFrame(type, buffer.mid(consumed + OrvaneWire::kHeaderSize + 1, length - 1));
            consumed += OrvaneWire::kHeaderSize + length;
        }
        buffer.remove(0, consumed);
        consumed = 0;
    }
}

void OrvaneSocketTransport::dropConnection(int fd) {
    {
        std::lock_guard<std::mutex> lock(m_writeMutex);
        m_fd.store(-1);
    }
    ::close(fd);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_connection;
    }
    m_wake.notify_all();
    if (m_hadDevices) {
        m_hadDevices = false;
        m_listener->transportDeviceListChanged({});
    }
}

void OrvaneSocketTransport::handleFrame(quint8 type, const QByteArray& body) {
    switch (static_cast<OrvaneWire::Frame>(type)) {
    case OrvaneWire::Frame::Devices:
        if (auto devices = OrvaneWire::decodeDevices(body)) {
            m_hadDevices = !devices->isEmpty();
            m_listener->transportDeviceListChanged(*devices);
        }
        break;
    case OrvaneWire::Frame::Ack: {
        OrvaneWire::Reader r(body);
        quint64 id = 0;
        quint8 accepted = 0;
        if (!r.u64(id) || !r.u8(accepted))
            break;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            auto it = m_acceptWaits.find(id);
            if (it == m_acceptWaits.end())
                break;
            it->second.answered = true;
            it->second.accepted = accepted != 0;
        }
        m_wake.notify_all();
        break;
    }
    case OrvaneWire::Frame::Answer:
        if (auto answer = OrvaneWire::decodeAnswer(body))
            m_listener->transportAnswer(*answer);
        break;
    case OrvaneWire::Frame::Progress: {
        OrvaneWire::Reader r(body);
        quint64 id = 0;
        double level = 0;
        if (r.u64(id) && r.f64(level))
            m_listener->transportProgress(id, level);
        break;
    }
    default:
        break; // frames of the control channel, or of a newer daemon: not ours
    }
}
