#pragma once

#include "OrvaneTransport.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

/**
 * The client of the ovdevsim daemon over its local stream socket (protocol in docs/devsim.md).
 * One thread connects, reads and reports; it retries every kReconnectIntervalMs while no daemon
 * answers, so a daemon that starts later is found, and a daemon that stops takes its devices with
 * it. Every connection is a new generation: the handles of one daemon never reach another.
 * send() may be called from any thread; it only writes the request, and the daemon's refusal
 * comes back as an answer with OrvaneStatus::Refused.
 */
class OrvaneSocketTransport : public OrvaneTransport {
public:
    static constexpr int kReconnectIntervalMs = 250;

    explicit OrvaneSocketTransport(QString socketPath);
    ~OrvaneSocketTransport() override;

    /** OV_DEVSIM_SOCKET, else $XDG_RUNTIME_DIR/ovdevsim.sock, else /tmp/ovdevsim-<uid>.sock. */
    static QString defaultSocketPath();

    void start(OrvaneTransportListener* listener) override;
    void stop() override;
    bool send(const OrvaneRequest& request) override;

    QString socketPath() const { return m_socketPath; }
    bool isConnected() const { return m_fd.load() >= 0; }

private:
    void run();
    bool readSession(int fd, quint64 generation);
    void dropConnection(int fd);
    void handleFrame(quint8 type, const QByteArray& body, quint64 generation);

    const QString m_socketPath;
    OrvaneTransportListener* m_listener = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
    std::atomic<int> m_fd{-1};
    /** Guards writes to m_fd and m_generation, the generation of the live connection. */
    std::mutex m_writeMutex;
    quint64 m_generation = 0;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_hadDevices = false;
};
