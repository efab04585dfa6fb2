#pragma once

#include "OVReachability.h"

#include <QString>

#include <chrono>
#include <memory>

class QTcpSocket;
class QTimer;

/**
 * Reachability of one host: a TCP connection to its port is tried at start and then at every
 * interval; the host is reachable while the last try connected. Unreachable until the first try
 * connects.
 */
class OVHostReachability : public OVReachability {
public:
    /** The host and port of url (port 80 or 443 from its scheme when it names none). */
    static std::shared_ptr<OVHostReachability> reachabilityWithURL(const QString& url);
    OVHostReachability(QString host, quint16 port);
    ~OVHostReachability() override;

    void setInterval(std::chrono::milliseconds interval) { m_interval = interval; }
    QString host() const { return m_host; }
    quint16 port() const { return m_port; }

    bool startNotifier() override;
    void stopNotifier() override;

private:
    void probe();

    const QString m_host;
    const quint16 m_port;
    std::chrono::milliseconds m_interval{std::chrono::seconds(10)};
    /** Main thread; both live while the notifier runs. */
    std::unique_ptr<QTimer> m_timer;
    std::unique_ptr<QTcpSocket> m_socket;
};
