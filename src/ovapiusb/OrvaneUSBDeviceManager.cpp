#include "OrvaneUSBDeviceManager.h"

#include "OrvaneDeviceLink.h"
#include "OrvaneSocketTransport.h"

OrvaneUSBDeviceManager::OrvaneUSBDeviceManager()
    : m_link(std::make_shared<OrvaneDeviceLink>([this](const QString& keyPath) { report(keyPath); })) {}

OrvaneUSBDeviceManager::~OrvaneUSBDeviceManager() {
    m_link->shutdown();
}

OrvaneUSBDeviceManager& OrvaneUSBDeviceManager::sharedInstance() {
    // Never destroyed: the library's threads may still report while static objects are torn down
    // at exit, and must not find the manager gone.
    static OrvaneUSBDeviceManager* instance = new OrvaneUSBDeviceManager();
    return *instance;
}

void OrvaneUSBDeviceManager::ensureTransport() const {
    std::lock_guard<std::mutex> lock(m_transportMutex);
    if (m_transportChosen)
        return;
    m_transportChosen = true;
    m_link->setTransport(std::make_shared<OrvaneSocketTransport>(OrvaneSocketTransport::defaultSocketPath()));
}

void OrvaneUSBDeviceManager::setTransport(std::shared_ptr<OrvaneTransport> transport) {
    std::lock_guard<std::mutex> lock(m_transportMutex);
    m_transportChosen = true;
    m_link->setTransport(std::move(transport));
}

std::shared_ptr<OrvaneTransport> OrvaneUSBDeviceManager::transport() const {
    return m_link->transport();
}

QList<std::shared_ptr<OrvaneCDCDevice>> OrvaneUSBDeviceManager::cdcOrvanes() const {
    ensureTransport();
    return m_link->cdcDevices();
}

QList<std::shared_ptr<OrvaneUSBDevice>> OrvaneUSBDeviceManager::hidOrvanes() const {
    ensureTransport();
    return m_link->hidDevices();
}

void OrvaneUSBDeviceManager::setupKVOObserver(OrvaneKVOObserver* observer) {
    if (!observer)
        return;
    {
        std::lock_guard<std::mutex> lock(m_observerMutex);
        if (!m_observers.contains(observer))
            m_observers.append(observer);
    }
    ensureTransport();
}

void OrvaneUSBDeviceManager::unsetKVOObserver(OrvaneKVOObserver* observer) {
    {
        std::lock_guard<std::mutex> lock(m_observerMutex);
        m_observers.removeAll(observer);
    }
    // From inside a report the running one is the caller itself: nothing to wait for.
    if (!m_link->isNotificationThread()) {
        std::lock_guard<std::mutex> wait(m_reportMutex);
    }
}

void OrvaneUSBDeviceManager::report(const QString& keyPath) {
    std::lock_guard<std::mutex> running(m_reportMutex);
    QList<OrvaneKVOObserver*> observers;
    {
        std::lock_guard<std::mutex> lock(m_observerMutex);
        observers = m_observers;
    }
    for (OrvaneKVOObserver* observer : observers) {
        bool stillThere = false;
        {
            std::lock_guard<std::mutex> lock(m_observerMutex);
            stillThere = m_observers.contains(observer);
        }
        if (stillThere)
            observer->observeValueForKeyPath(keyPath, this);
    }
}
