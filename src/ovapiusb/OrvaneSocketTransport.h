#pragma once

#include "OrvaneTransport.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <unordered_map>

/**
 * The client of the ovdevsim daemon over its local stream socket (protocol in docs/devsim.md).
 * One thread connects, reads and reports; it retries every kReconnectIntervalMs while no daemon
 * answers, so a daemon that starts later is found, and a daemon that stops takes its devices with
 * it. send() may be called from any thread; it waits only for the daemon's acceptance.
 */
class OrvaneSocketTransport : public OrvaneTransport {
public:
    static constexpr int kReconnectIntervalMs = 250;
    /** How long send() waits for the daemon to accept or refuse before giving the request up. */
    static constexpr int kAcceptTimeoutMs = 5000;

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
    struct AcceptWait {
        bool answered = false;
        bool accepted = false;
    };
    void run();
    bool readSession(int fd);
    void dropConnection(int fd);
    void handleFrame(quint8 type, const QByteArray& body);

    const QString m_socketPath;
    OrvaneTransportListener* m_listener = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
    std::atomic<int> m_fd{-1};
    std::mutex m_writeMutex;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::unordered_map<quint64, AcceptWait> m_acceptWaits;
    quint64 m_connection = 0;
    bool m_hadDevices = false;
};
