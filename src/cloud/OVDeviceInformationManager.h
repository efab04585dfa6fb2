#pragma once

#include "OVDeviceInfo.h"
#include "OVError.h"

#include <QList>

#include <atomic>
#include <functional>
#include <optional>

class OVServiceProtocol;

/**
 * Rebuilds the records of the devices that have sessions in the local store, so that devices not
 * plugged in can be listed: one not-connected OVDeviceInfo per serial, sessions newest first, without
 * the sessions of users the account cannot see.
 */
class OVDeviceInformationManager {
public:
    using Completion =
        std::function<void(std::optional<QList<std::shared_ptr<OVDeviceInfo>>>, std::optional<OVError>)>;

    /** Not owned. */
    OVServiceProtocol* service() const { return m_service.load(); }
    void setService(OVServiceProtocol* service) { m_service.store(service); }

    /**
     * Runs the rebuild on the background queue and calls back there with the records, or with the
     * store's error, or with the first "Unauthorized" error (OVError::isUnauthorized) of a user look-up.
     */
    void getDeviceInformationsFromLocalStorage(Completion callback);

private:
    static void rebuild(const Completion& callback);

    std::atomic<OVServiceProtocol*> m_service{nullptr};
};
