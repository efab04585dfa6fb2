#include "SimDaemon.h"

#include "OrvaneLocalSocket.h"
#include "OrvaneWire.h"
#include "SimControl.h"

#include <QFile>
#include <QJsonDocument>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

// One connected client; also the sink of the answers to its requests, which may come after it left.
class SimDaemon::Client : public SimReplySink {
public:
    explicit Client(int fd)
        : m_fd(fd) {}
    int fd() const { return m_fd; }
    bool write(const QByteArray& frame) {
        std::lock_guard<std::mutex> lock(m_writeMutex);
        if (!m_alive)
            return false;
        if (!OrvaneLocalSocket::writeAll(m_fd, frame)) {
            // A client that stopped reading is dropped rather than holding a device's worker.
            m_alive = false;
            ::shutdown(m_fd, SHUT_RDWR);
            return false;
        }
        return true;
    }
    /** Ends writing; the reader thread closes the descriptor afterwards. */
    void close() {
        std::lock_guard<std::mutex> lock(m_writeMutex);
        m_alive = false;
    }
    void shutdownSocket() {
        std::lock_guard<std::mutex> lock(m_writeMutex);
        if (m_alive)
            ::shutdown(m_fd, SHUT_RDWR);
    }
    void deliverAnswer(const OrvaneAnswer& answer) override {
        write(OrvaneWire::frame(OrvaneWire::Frame::Answer, OrvaneWire::encodeAnswer(answer)));
    }
    void deliverProgress(quint64 requestId, double level) override {
        OrvaneWire::Writer w;
        w.u64(requestId);
        w.f64(level);
        write(OrvaneWire::frame(OrvaneWire::Frame::Progress, w.bytes()));
    }

    std::atomic<bool> subscribed{false};
    std::atomic<bool> finished{false};
    std::thread thread;

private:
    const int m_fd;
    std::mutex m_writeMutex;
    bool m_alive = true;
};

SimDaemon::SimDaemon(std::shared_ptr<SimDeviceHub> hub, QString socketPath)
    : m_hub(std::move(hub))
    , m_socketPath(std::move(socketPath)) {}

SimDaemon::~SimDaemon() {
    stop();
}

bool SimDaemon::listen(QString* error) {
    sockaddr_un address;
    if (!OrvaneLocalSocket::fillAddress(m_socketPath, address)) {
        *error = QStringLiteral("socket path '%1' is empty or too long").arg(m_socketPath);
        return false;
    }
    if (QFile::exists(m_socketPath)) {
        const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool live =
            probe >= 0 && ::connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        if (probe >= 0)
            ::close(probe);
        if (live) {
            *error = QStringLiteral("another ovdevsim daemon is serving %1").arg(m_socketPath);
            return false;
        }
        ::unlink(QFile::encodeName(m_socketPath).constData());
    }
    m_listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listenFd < 0 || ::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listenFd, 32) != 0 || ::pipe2(m_wakePipe, O_CLOEXEC) != 0) {
        *error = QStringLiteral("cannot listen on %1: %2")
                     .arg(m_socketPath, QString::fromLocal8Bit(std::strerror(errno)));
        if (m_listenFd >= 0)
            ::close(m_listenFd);
        m_listenFd = -1;
        return false;
    }
    m_listening = true;
    return true;
}

void SimDaemon::start() {
    if (!m_listening || m_acceptThread.joinable())
        return;
    m_hub->addListener(this);
    m_acceptThread = std::thread([this] { acceptLoop(); });
}

void SimDaemon::stop() {
    if (!m_listening || m_stopped)
        return;
    m_stopped = true;
    const char wake = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_wakePipe[1], &wake, 1);
    if (m_acceptThread.joinable())
        m_acceptThread.join();
    m_hub->removeListener(this);
    ::close(m_listenFd);
    ::close(m_wakePipe[0]);
    ::close(m_wakePipe[1]);
    ::unlink(QFile::encodeName(m_socketPath).constData());
    std::vector<std::shared_ptr<Client>> clients;
    {
        std::lock_guard<std::mutex> lock(m_clientsMutex);
        clients.swap(m_clients);
    }
    for (const auto& c : clients)
        c->shutdownSocket();
    for (const auto& c : clients) {
        if (c->thread.joinable())
            c->thread.join();
    }
}

void SimDaemon::acceptLoop() {
    for (;;) {
        pollfd fds[2] = {{m_listenFd, POLLIN, 0}, {m_wakePipe[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents)
            return;
        if (!(fds[0].revents & POLLIN))
            continue;
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        OrvaneLocalSocket::setSendTimeout(fd);
        auto client = std::make_shared<Client>(fd);
        std::lock_guard<std::mutex> lock(m_clientsMutex);
        for (auto it = m_clients.begin(); it != m_clients.end();) {
            if ((*it)->finished.load()) {
                (*it)->thread.join();
                it = m_clients.erase(it);
            } else {
                ++it;
            }
        }
        client->thread = std::thread([this, client] { serve(client); });
        m_clients.push_back(client);
    }
}

void SimDaemon::serve(const std::shared_ptr<Client>& client) {
    QByteArray buffer;
    char chunk[OrvaneLocalSocket::kReadChunk];
    bool open = true;
    while (open) {
        const ssize_t n = ::recv(client->fd(), chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        buffer.append(chunk, n);
        qsizetype consumed = 0;
        while (open) {
            const qsizetype available = buffer.size() - consumed;
            if (available < OrvaneWire::kHeaderSize + 1)
                break;
            quint32 length = 0;
            OrvaneWire::Reader header(buffer, consumed);
            header.u32(length);
            if (length == 0 || length > OrvaneWire::kMaxFrameSize) {
                client->write(OrvaneWire::frame(OrvaneWire::Frame::Error,
                                                QByteArrayLiteral("frame length out of range")));
                open = false;
                break;
            }
            if (available < OrvaneWire::kHeaderSize + static_cast<qsizetype>(length))
                break;
            const quint8 type = static_cast<quint8>(buffer.at(consumed + OrvaneWire::kHeaderSize));
            open = handleFrame(client, type, buffer.mid(consumed + OrvaneWire::kHeaderSize + 1, length - 1));
            consumed += OrvaneWire::kHeaderSize + length;
        }
        buffer.remove(0, consumed);
    }
    client->subscribed.store(false);
    client->close();
    ::close(client->fd());
    client->finished.store(true);
}

bool SimDaemon::handleFrame(const std::shared_ptr<Client>& client, quint8 type, const QByteArray& body) {
    switch (static_cast<OrvaneWire::Frame>(type)) {
    case OrvaneWire::Frame::Hello: {
        std::lock_guard<std::mutex> lock(m_listMutex);
        client->subscribed.store(true);
        return client->write(
            OrvaneWire::frame(OrvaneWire::Frame::Devices, OrvaneWire::encodeDevices(m_devices)));
    }
    case OrvaneWire::Frame::Request: {
        const std::optional<OrvaneRequest> request = OrvaneWire::decodeRequest(body);
        if (!request) {
            client->write(
                OrvaneWire::frame(OrvaneWire::Frame::Error, QByteArrayLiteral("malformed request")));
            return false;
        }
        const bool accepted = m_hub->submit(*request, client);
        OrvaneWire::Writer ack;
        ack.u64(request->id);
        ack.u8(accepted ? 1 : 0);
        return client->write(OrvaneWire::frame(OrvaneWire::Frame::Ack, ack.bytes()));
    }
    case OrvaneWire::Frame::Control: {
        const QJsonObject reply = SimControl::handle(*m_hub, body, [&client](const QByteArray& data) {
            return client->write(OrvaneWire::frame(OrvaneWire::Frame::ControlData, data));
        });
        return client->write(OrvaneWire::frame(OrvaneWire::Frame::ControlReply,
                                               QJsonDocument(reply).toJson(QJsonDocument::Compact)));
    }
    default:
        client->write(
            OrvaneWire::frame(OrvaneWire::Frame::Error, QByteArrayLiteral("unexpected frame type")));
        return false;
    }
}

void SimDaemon::hubDeviceListChanged(const QList<OrvaneDeviceDescriptor>& devices) {
    std::lock_guard<std::mutex> lock(m_listMutex);
    m_devices = devices;
    const QByteArray frame =
        OrvaneWire::frame(OrvaneWire::Frame::Devices, OrvaneWire::encodeDevices(devices));
    std::vector<std::shared_ptr<Client>> clients;
    {
        std::lock_guard<std::mutex> clientsLock(m_clientsMutex);
        clients = m_clients;
    }
    for (const auto& c : clients) {
        if (c->subscribed.load())
            c->write(frame);
    }
}
