#include "OVReachability.h"

#include "OVNotificationCenter.h"

void OVReachability::setReachable(bool reachable) {
    if (m_reachable.exchange(reachable) == reachable)
        return;
    OVNotificationCenter::defaultCenter().post(OVNotificationName::kNetworkReachabilityChangedNotification,
                                               shared_from_this());
}
