#include "OVHostReachability.h"

#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

std::shared_ptr<OVHostReachability> OVHostReachability::reachabilityWithURL(const QString& url) {
    const QUrl parsed(url);
    const int defaultPort = parsed.scheme() == QStringLiteral("https") ? 443 : 80;
    return std::make_shared<OVHostReachability>(parsed.host(), quint16(parsed.port(defaultPort)));
}

OVHostReachability::OVHostReachability(QString host, quint16 port)
    : OVReachability(false)
    , m_host(std::move(host))
    , m_port(port) {}

OVHostReachability::~OVHostReachability() = default;

bool OVHostReachability::startNotifier() {
    if (m_timer)
        return true;
    m_timer = std::make_unique<QTimer>();
    m_timer->setInterval(m_interval);
    QObject::connect(m_timer.get(), &QTimer::timeout, m_timer.get(), [this] { probe(); });
    m_timer->start();
    probe();
    return true;
}

void OVHostReachability::stopNotifier() {
    m_timer.reset();
    m_socket.reset();
}

void OVHostReachability::probe() {
    // A try still waiting for its answer is replaced: a host that does not answer within an
    // interval counts as unreachable.
    const bool answered = !m_socket || m_socket->state() == QAbstractSocket::UnconnectedState;
    if (!answered)
        setReachable(false);
    m_socket = std::make_unique<QTcpSocket>();
    QTcpSocket* socket = m_socket.get();
    QObject::connect(socket, &QTcpSocket::connected, socket, [this, socket] {
        setReachable(true);
        socket->abort();
    });
    QObject::connect(socket, &QTcpSocket::errorOccurred, socket,
                     [this](QAbstractSocket::SocketError) { setReachable(false); });
    socket->connectToHost(m_host, m_port);
}
