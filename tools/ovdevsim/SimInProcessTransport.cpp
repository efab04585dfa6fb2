#include "SimInProcessTransport.h"

// Forwards answers to the listener until the transport stops; the lock makes stop() wait for an
// answer being delivered.
class SimInProcessTransport::Sink : public SimReplySink {
public:
    void setListener(OrvaneTransportListener* listener) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_listener = listener;
    }
    void deliverAnswer(const OrvaneAnswer& answer) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_listener)
            m_listener->transportAnswer(answer);
    }
    void deliverProgress(quint64 requestId, double level) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_listener)
            m_listener->transportProgress(requestId, level);
    }

private:
    std::mutex m_mutex;
    OrvaneTransportListener* m_listener = nullptr;
};

SimInProcessTransport::SimInProcessTransport(std::shared_ptr<SimDeviceHub> hub)
    : m_hub(std::move(hub))
    , m_sink(std::make_shared<Sink>()) {}

SimInProcessTransport::~SimInProcessTransport() {
    stop();
}

void SimInProcessTransport::start(OrvaneTransportListener* listener) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_listener = listener;
    }
    m_sink->setListener(listener);
    m_hub->addListener(this);
}

void SimInProcessTransport::stop() {
    m_hub->removeListener(this);
    m_sink->setListener(nullptr);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_listener = nullptr;
}

bool SimInProcessTransport::send(const OrvaneRequest& request) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_listener)
            return false;
    }
    return m_hub->submit(request, m_sink);
}

void SimInProcessTransport::hubDeviceListChanged(const QList<OrvaneDeviceDescriptor>& devices) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_listener)
        m_listener->transportDeviceListChanged(devices);
}
