#pragma once

#include "OVDeviceInfo.h"
#include "OVError.h"
#include "OVSession.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class OVServiceProtocol;
class OVCredentialManagerProtocol;
class OVPreferencesManagerProtocol;
class OVDeviceCommandDelegate;

/**
 * The device registry as the rest of the service sees it: the known devices, what can be done to
 * them, and the store-and-upload orchestration. Session storers hand stored sessions back through
 * syncSession and forceSyncSession, from their own threads.
 */
class OVDeviceManagerProtocol {
public:
    using UpdateDeviceListCompletion = std::function<void(std::optional<OVError>)>;

    virtual ~OVDeviceManagerProtocol() = default;

    /** Refreshes the device list; the completion is called only when the stored records fail with code 2. */
    virtual void updateDeviceList(UpdateDeviceListCompletion completion) = 0;
    virtual void updateDeviceList() = 0;
    /** A copy of every known record, in any order. */
    virtual QList<std::shared_ptr<OVDeviceInfo>> getDevices() = 0;

    virtual bool identifyDevice(const std::shared_ptr<OVDeviceInfo>& device, OVError* error) = 0;
    virtual bool eraseDevice(const std::shared_ptr<OVDeviceInfo>& device, OVError* error) = 0;
    virtual bool resetDevice(const std::shared_ptr<OVDeviceInfo>& device, OVError* error) = 0;
    virtual bool updateDevice(const std::shared_ptr<OVDeviceInfo>& device, const QString& firmwareFile,
                              OVError* error) = 0;
    virtual bool recoverDevice(const std::shared_ptr<OVDeviceInfo>& device, const QString& firmwareFile,
                               OVError* error) = 0;
    virtual bool assignDefaultUserToDevice(const std::shared_ptr<OVDeviceInfo>& device, quint64 userId,
                                           OVError* error) = 0;
    virtual bool getDefaultUserForDevice(const std::shared_ptr<OVDeviceInfo>& device, OVError* error) = 0;

    virtual void
    subscribeToCommandNotification(const std::shared_ptr<OVDeviceCommandDelegate>& subscriber) = 0;
    virtual void
    unSubscribeToCommandNotification(const std::shared_ptr<OVDeviceCommandDelegate>& subscriber) = 0;

    virtual void syncAllDevices() = 0;
    virtual void cancelAll() = 0;
    virtual void sync(const std::shared_ptr<OVDeviceInfo>& device) = 0;
    virtual void cancelSync(const std::shared_ptr<OVDeviceInfo>& device) = 0;
    virtual void cancelStoring(const std::shared_ptr<OVDeviceInfo>& device) = 0;

    virtual bool isDeviceSynching(const std::shared_ptr<OVDeviceInfo>& device) = 0;
    virtual bool isSynching() = 0;
    virtual bool isStoringSessionsForDevice(const std::shared_ptr<OVDeviceInfo>& device) = 0;
    virtual bool isStoringSessions() = 0;
    virtual bool isDeviceRecovering(const std::shared_ptr<OVDeviceInfo>& device) = 0;

    /** Queues the upload of a stored session on its device's upload queue. Any thread. */
    virtual void syncSession(const std::shared_ptr<OVSession>& session,
                             const std::shared_ptr<OVDeviceInfo>& device) = 0;
    /** The same, uploading even a session in a final upload state. Any thread. */
    virtual void forceSyncSession(const std::shared_ptr<OVSession>& session,
                                  const std::shared_ptr<OVDeviceInfo>& device) = 0;

    /** Collaborators are held without ownership; they outlive the manager. */
    virtual OVServiceProtocol* service() const = 0;
    virtual void setService(OVServiceProtocol* service) = 0;
    virtual OVCredentialManagerProtocol* credMgr() const = 0;
    virtual void setCredMgr(OVCredentialManagerProtocol* credMgr) = 0;
    virtual OVPreferencesManagerProtocol* prefMgr() const = 0;
    virtual void setPrefMgr(OVPreferencesManagerProtocol* prefMgr) = 0;
};
