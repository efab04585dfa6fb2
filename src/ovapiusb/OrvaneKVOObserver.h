#pragma once

#include <QString>

class OrvaneUSBDeviceManager;

/** Receives the device-list change reports of OrvaneUSBDeviceManager::setupKVOObserver. */
class OrvaneKVOObserver {
public:
    virtual ~OrvaneKVOObserver() = default;
    /**
     * keyPath names the list that changed: "cdcOrvanes" or "hidOrvanes". Called on the library's
     * notification thread, one report at a time; do not wait there for the main thread.
     */
    virtual void observeValueForKeyPath(const QString& keyPath, OrvaneUSBDeviceManager* object) = 0;
};
