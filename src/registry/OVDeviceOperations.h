#pragma once

#include "OVError.h"

#include <QHash>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>

class OVDeviceCommandExecutor;
class OVDeviceInfo;
class OrvaneCDCDevice;
class OrvaneUSBDevice;
class OrvaneUSBDeviceManager;

/**
 * The registry's operations on one device (identify, erase, reset, default user, firmware update and
 * recovery): each finds the device the library lists now and asks the executor, whose reports reach
 * the command subscribers; a device not plugged in answers false with code 1 "Device %@ not found".
 * Also keeps the recoveries under way, by USB location, and tells which record a recovery-mode device
 * at a port belongs to. Any thread.
 */
class OVDeviceOperations {
public:
    /** Neither is owned; both outlive the operations. */
    OVDeviceOperations(OrvaneUSBDeviceManager* library, OVDeviceCommandExecutor* executor);

    /** The library's data-mode device with the record's serial, looked up in its current list. */
    std::shared_ptr<OrvaneCDCDevice> findUsbDevice(const std::shared_ptr<OVDeviceInfo>& device) const;
    /** Code 1 of "com.pellwick.deviceManager": "Device %@ not found". */
    static OVError notFoundError(const QString& serial);
    /** Code 1 as well: the device has no session starting in that second. */
    static OVError noSessionError(const QString& serial, qint64 startSeconds);
    /** Code 1 as well: a session to upload whose pages are partly on the device, which is unplugged. */
    static OVError notStoredError(const QString& serial);

    bool identifyDevice(const std::shared_ptr<OVDeviceInfo>& device, OVError* error);
    /** Erase, then a clock setting. */
    bool eraseDevice(const std::shared_ptr<OVDeviceInfo>& device, OVError* error);
    bool resetDevice(const std::shared_ptr<OVDeviceInfo>& device, OVError* error);
    bool assignDefaultUserToDevice(const std::shared_ptr<OVDeviceInfo>& device, quint64 userId,
                                   OVError* error);
    bool getDefaultUserForDevice(const std::shared_ptr<OVDeviceInfo>& device, OVError* error);
    bool updateDevice(const std::shared_ptr<OVDeviceInfo>& device, const QString& firmwareFile,
                      OVError* error);
    /** Finds the recovery-mode device at the record's USB location. */
    bool recoverDevice(const std::shared_ptr<OVDeviceInfo>& device, const QString& firmwareFile,
                       OVError* error);
    bool isDeviceRecovering(const std::shared_ptr<OVDeviceInfo>& device) const;
    void onRecoverDeviceCompleted(const std::shared_ptr<OrvaneUSBDevice>& device);
    /** The device left data mode now. */
    void noteDeparture(const QString& serial);
    /**
     * Whether a recovery-mode device at the record's USB location is that record's device: it is
     * connected, already in recovery, or left data mode within the restart window.
     */
    bool isAtItsPortStill(const OVDeviceInfo& record) const;
    void setRecoveryRestartWindow(std::chrono::milliseconds window);

private:
    /** Runs send on the plugged-in device, or logs notFoundLine and fills the code-1 error. */
    bool withUsbDevice(const std::shared_ptr<OVDeviceInfo>& device, const char* notFoundLine, OVError* error,
                       const std::function<void(const std::shared_ptr<OrvaneCDCDevice>&)>& send);

    OrvaneUSBDeviceManager* const m_library;
    OVDeviceCommandExecutor* const m_executor;
    mutable std::mutex m_mutex;
    /** Keyed by the USB location of the device under recovery, so that its completion finds it. */
    QHash<quint32, bool> m_deviceRecovering;
    /** When each device last left data mode. */
    QHash<QString, std::chrono::steady_clock::time_point> m_departures;
    std::chrono::milliseconds m_restartWindow{std::chrono::seconds(30)};
};
