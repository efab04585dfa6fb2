#pragma once

#include "OrvaneTransport.h"
#include "SimDeviceHub.h"

#include <memory>
#include <mutex>

/**
 * Devices of an emulator in the same process: what tests install on the library's device manager
 * (OrvaneUSBDeviceManager::setTransport) instead of the daemon's socket. Answers arrive on the
 * emulated devices' worker threads, as they would from the socket's reader.
 */
class SimInProcessTransport : public OrvaneTransport, private SimHubListener {
public:
    explicit SimInProcessTransport(std::shared_ptr<SimDeviceHub> hub);
    ~SimInProcessTransport() override;

    void start(OrvaneTransportListener* listener) override;
    void stop() override;
    bool send(const OrvaneRequest& request) override;

    const std::shared_ptr<SimDeviceHub>& hub() const { return m_hub; }

private:
    class Sink;
    void hubDeviceListChanged(const QList<OrvaneDeviceDescriptor>& devices) override;

    const std::shared_ptr<SimDeviceHub> m_hub;
    std::shared_ptr<Sink> m_sink;
    std::mutex m_mutex;
    OrvaneTransportListener* m_listener = nullptr;
};
