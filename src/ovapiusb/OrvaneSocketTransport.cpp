#include "OrvaneSocketTransport.h"

#include "OrvaneLocalSocket.h"
#include "OrvaneStatus.h"
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
        std::lock_guard<std::mutex> lock(m_mutex); // no missed wake-up between test and wait
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

bool OrvaneSocketTransport::send(const OrvaneRequest& request) {
    const QByteArray frame =
        OrvaneWire::frame(OrvaneWire::Frame::Request, OrvaneWire::encodeRequest(request));
    std::lock_guard<std::mutex> lock(m_writeMutex);
    const int fd = m_fd.load();
    // A handle of an earlier connection names, on this one, whichever device got its number.
    if (fd < 0 || m_stopping.load() || request.generation != m_generation)
        return false;
    if (OrvaneLocalSocket::writeAll(fd, frame))
        return true;
    // A frame cut short leaves the stream unreadable: the connection goes, its devices with it.
    ::shutdown(fd, SHUT_RDWR);
    return false;
}

void OrvaneSocketTransport::run() {
    while (!m_stopping.load()) {
        const int fd = OrvaneLocalSocket::connectTo(m_socketPath);
        if (fd >= 0) {
            OrvaneLocalSocket::setSendTimeout(fd);
            bool live = false;
            quint64 generation = 0;
            {
                std::lock_guard<std::mutex> lock(m_writeMutex);
                if (!m_stopping.load()) {
                    m_fd.store(fd);
                    generation = ++m_generation;
                    OrvaneWire::Writer hello;
                    hello.u32(OrvaneWire::kProtocolVersion);
                    live = OrvaneLocalSocket::writeAll(
                        fd, OrvaneWire::frame(OrvaneWire::Frame::Hello, hello.bytes()));
                }
            }
            if (live)
                readSession(fd, generation);
            dropConnection(fd);
        }
        std::unique_lock<std::mutex> lock(m_mutex);
        m_wake.wait_for(lock, std::chrono::milliseconds(kReconnectIntervalMs),
                        [this] { return m_stopping.load(); });
    }
}

bool OrvaneSocketTransport::readSession(int fd, quint64 generation) {
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
            handleFrame(type, buffer.mid(consumed + OrvaneWire::kHeaderSize + 1, length - 1), generation);
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
    if (m_hadDevices) {
        m_hadDevices = false;
        m_listener->transportDeviceListChanged({});
    }
}

void OrvaneSocketTransport::handleFrame(quint8 type, const QByteArray& body, quint64 generation) {
    switch (static_cast<OrvaneWire::Frame>(type)) {
    case OrvaneWire::Frame::Devices:
        if (auto devices = OrvaneWire::decodeDevices(body)) {
            for (OrvaneDeviceDescriptor& d : *devices)
                d.generation = generation;
            m_hadDevices = !devices->isEmpty();
            m_listener->transportDeviceListChanged(*devices);
        }
        break;
    case OrvaneWire::Frame::Ack: {
        OrvaneWire::Reader r(body);
        quint64 id = 0;
        quint8 accepted = 0;
        // A refusal means the device ran nothing: it ends the request like an answer would, so
        // a retry cannot repeat work. An acceptance tells nothing the answer will not.
        if (r.u64(id) && r.u8(accepted) && !accepted)
            m_listener->transportAnswer({id, OrvaneStatus::Refused, {}});
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
