#include "OVReachabilityProbes.h"

#include "OVReachability.h"

#include <utility>

OVReachabilityProbes::~OVReachabilityProbes() {
    for (const auto& probe : {m_internet, m_host}) {
        if (probe)
            probe->stopNotifier();
    }
}

void OVReachabilityProbes::replace(std::shared_ptr<OVReachability> internet,
                                   std::shared_ptr<OVReachability> host) {
    std::shared_ptr<OVReachability> oldInternet;
    std::shared_ptr<OVReachability> oldHost;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        oldInternet = std::exchange(m_internet, internet);
        oldHost = std::exchange(m_host, host);
    }
    for (const auto& probe : {oldInternet, oldHost}) {
        if (probe)
            probe->stopNotifier();
    }
    for (const auto& probe : {internet, host}) {
        if (probe)
            probe->startNotifier();
    }
}

bool OVReachabilityProbes::bothReachable() const {
    std::shared_ptr<OVReachability> internet;
    std::shared_ptr<OVReachability> host;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        internet = m_internet;
        host = m_host;
    }
    return !(internet && !internet->isReachable()) && !(host && !host->isReachable());
}
