#include "OVDeviceInformationManager.h"

#include "OVBackgroundQueue.h"
#include "OVDataLookup.h"
#include "OVHelper.h"
#include "OVSessionFileRepository.h"

#include <QHash>

void OVDeviceInformationManager::getDeviceInformationsFromLocalStorage(Completion callback) {
    OVBackgroundQueue::shared().addOperationWithBlock([callback] { rebuild(callback); });
}

void OVDeviceInformationManager::rebuild(const Completion& callback) {
    OVSessionFileRepository repository;
    OVError error;
    std::optional<OVSessionList> sessions = repository.getAllSessions(&error);
    if (!sessions) {
        callback(std::nullopt, error);
        return;
    }
    OVHelper::sortSessionsDesc(*sessions);

    OVDataLookup& lookup = OVDataLookup::sharedInstance();
    QList<std::shared_ptr<OVDeviceInfo>> devices;
    QHash<QString, std::shared_ptr<OVDeviceInfo>> bySerial;
    for (const std::shared_ptr<OVSession>& session : *sessions) {
        const auto [user, lookupError] = lookup.findUserByIdAndWait(session->userId());
        if (lookupError && lookupError->isUnauthorized()) {
            callback(std::nullopt, lookupError);
            return;
        }
        // Users loaded and this one not among them: a session the account may not see.
        if (!user && lookup.areUsersLoaded())
            continue;
        const QString serial = session->deviceSerial();
        std::shared_ptr<OVDeviceInfo>& device = bySerial[serial];
        if (!device) {
            device = std::make_shared<OVDeviceInfo>();
            device->setSerial(serial);
            device->setName(OVDeviceInfo::nameForSerial(serial));
            device->setIsConnected(false);
            devices.append(device);
        }
        device->modifySessions([&session](OVSessionList& list) { list.append(session); });
    }
    callback(devices, std::nullopt);
}
