#pragma once

#include "OVReachability.h"

#include <QObject>

#include <memory>

/**
 * General internet reachability from the system's network information (NetworkManager, or the glib
 * backend where it is absent). Without a backend, or while the system does not know, the network
 * counts as reachable: the host probe then decides alone.
 */
class OVInternetReachability : public OVReachability {
public:
    OVInternetReachability();
    ~OVInternetReachability() override;

    bool startNotifier() override;
    void stopNotifier() override;

private:
    void readReachability();

    /** Main thread; the receiver of the system's change signals while started. */
    std::unique_ptr<QObject> m_context;
};
