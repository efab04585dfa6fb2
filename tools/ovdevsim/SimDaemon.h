#pragma once

#include "SimDeviceHub.h"

#include <QList>
#include <QString>

#include <memory>
#include <mutex>
#include <thread>
#include <vector>

/**
 * The emulator daemon: serves an SimDeviceHub on a local stream socket to any number of clients,
 * the device library (requests and device lists) and the CLI (control requests). One thread
 * accepts, one thread per client reads; a malformed frame closes that client only.
 */
class SimDaemon : private SimHubListener {
public:
    SimDaemon(std::shared_ptr<SimDeviceHub> hub, QString socketPath);
    ~SimDaemon() override;
    SimDaemon(const SimDaemon&) = delete;
    SimDaemon& operator=(const SimDaemon&) = delete;

    /** Binds the socket; fails when another daemon answers there (a stale file is replaced). */
    bool listen(QString* error);
    /** Starts accepting clients on a thread of its own. */
    void start();
    /** Closes the socket and every client, and waits for their threads. Idempotent. */
    void stop();
    QString socketPath() const { return m_socketPath; }

private:
    class Client;
    void acceptLoop();
    void serve(const std::shared_ptr<Client>& client);
    bool handleFrame(const std::shared_ptr<Client>& client, quint8 type, const QByteArray& body);
    void hubDeviceListChanged(const QList<OrvaneDeviceDescriptor>& devices) override;

    const std::shared_ptr<SimDeviceHub> m_hub;
    const QString m_socketPath;
    int m_listenFd = -1;
    int m_wakePipe[2] = {-1, -1};
    std::thread m_acceptThread;
    bool m_listening = false;
    bool m_stopped = false;

    std::mutex m_clientsMutex;
    std::vector<std::shared_ptr<Client>> m_clients;

    /** Guards the last device list and the subscribing of clients, so each gets every list in order. */
    std::mutex m_listMutex;
    QList<OrvaneDeviceDescriptor> m_devices;
};
