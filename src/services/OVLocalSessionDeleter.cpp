#include "OVLocalSessionDeleter.h"
#include "OVDeviceInfo.h"
#include "OVDeviceManagerProtocol.h"
#include "OVError.h"
#include "OVSession.h"
#include "OVSessionRepositoryProtocol.h"

OVLocalSessionDeleter::Refusal OVLocalSessionDeleter::refusal(OVDeviceManagerProtocol& deviceManager) {
    for (const auto& device : deviceManager.getDevices()) {
        if (device->isConnected())
            return Refusal::DeviceConnected;
    }
    return deviceManager.isSynching() ? Refusal::Syncing : Refusal::None;
}

void OVLocalSessionDeleter::deleteAllSessions(OVDeviceManagerProtocol& deviceManager,
                                              OVSessionRepositoryProtocol& repository) {
    for (const auto& device : deviceManager.getDevices()) {
        for (const auto& session : device->sessions()) {
            OVError ignored;
            repository.removeSession(*session, &ignored);
        }
        device->setSessions({});
    }
}
