#include "OVInternetReachability.h"

#include "OVLogger.h"

#include <QNetworkInformation>

OVInternetReachability::OVInternetReachability()
    : OVReachability(true) {}

OVInternetReachability::~OVInternetReachability() = default;

bool OVInternetReachability::startNotifier() {
    if (m_context)
        return true;
    if (!QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability)) {
        OVLog("No network information backend: internet reachability is not watched");
        return false;
    }
    m_context = std::make_unique<QObject>();
    QObject::connect(QNetworkInformation::instance(), &QNetworkInformation::reachabilityChanged,
                     m_context.get(), [this] { readReachability(); });
    readReachability();
    return true;
}

void OVInternetReachability::stopNotifier() {
    m_context.reset();
}

void OVInternetReachability::readReachability() {
    const QNetworkInformation* information = QNetworkInformation::instance();
    setReachable(!information ||
                 information->reachability() != QNetworkInformation::Reachability::Disconnected);
}
