#pragma once

#include "OrvaneCDCDevice.h"
#include "OrvaneKVOObserver.h"
#include "OrvaneTransport.h"
#include "OrvaneUSBDevice.h"

#include <QList>

#include <memory>
#include <mutex>

class OrvaneDeviceLink;

/**
 * Finds Orvane devices and keeps the two observable lists: cdcOrvanes (data mode) and hidOrvanes
 * (recovery mode). Devices are reached through a transport; unless one is set, the first use
 * starts the client of the emulator daemon (OrvaneSocketTransport at its default socket).
 * Thread-safe.
 */
class OrvaneUSBDeviceManager {
public:
    /** A manager with its own devices; the service uses sharedInstance(). */
    OrvaneUSBDeviceManager();
    ~OrvaneUSBDeviceManager();
    OrvaneUSBDeviceManager(const OrvaneUSBDeviceManager&) = delete;
    OrvaneUSBDeviceManager& operator=(const OrvaneUSBDeviceManager&) = delete;

    static OrvaneUSBDeviceManager& sharedInstance();

    /** A snapshot of the devices in data mode, in the order the transport lists them. */
    QList<std::shared_ptr<OrvaneCDCDevice>> cdcOrvanes() const;
    /** A snapshot of the devices in recovery mode. */
    QList<std::shared_ptr<OrvaneUSBDevice>> hidOrvanes() const;

    /**
     * Starts change reports to observer (not owned): observeValueForKeyPath with "cdcOrvanes" or
     * "hidOrvanes" after each change of that list, on the library's notification thread.
     */
    void setupKVOObserver(OrvaneKVOObserver* observer);
    /** Stops them; when it returns from another thread, no report to observer is running. */
    void unsetKVOObserver(OrvaneKVOObserver* observer);

    /**
     * Replaces the transport: the devices of the old one leave (their waiting requests are never
     * answered), then those of the new one arrive. Null leaves the manager without devices.
     */
    void setTransport(std::shared_ptr<OrvaneTransport> transport);
    std::shared_ptr<OrvaneTransport> transport() const;

private:
    void ensureTransport() const;
    void report(const QString& keyPath);

    mutable std::mutex m_transportMutex;
    mutable bool m_transportChosen = false;
    mutable std::mutex m_observerMutex;
    QList<OrvaneKVOObserver*> m_observers;
    /** Held while reports run, so that unsetKVOObserver can wait for a running one. */
    std::mutex m_reportMutex;
    /** Last: its notification thread may report at once, into the members above. */
    std::shared_ptr<OrvaneDeviceLink> m_link;
};
