#pragma once

#include "OVError.h"

#include <QString>

#include <memory>

class OVDeviceInfo;
class OVDeviceManagerProtocol;

/**
 * Decides whether the firmware shipped with the application is newer than a device's and hands the
 * shipped image to the device manager for an update or a recovery. Never starts an update by
 * itself. Any thread.
 */
class OVFirmwareUpdater {
public:
    /** deviceMgr is held weakly. */
    explicit OVFirmwareUpdater(std::weak_ptr<OVDeviceManagerProtocol> deviceMgr);

    QString getFirmwareFilePath() const;
    /** "major.minor.patch" from parts 1, 2 and 3 of the shipped file's name split at "_". */
    QString getFirmwareVersionIncludedInBundle() const;
    /** The device's revision when it has a point; otherwise "0.N.0" from the revision's number. */
    static QString getFirmwareVersionFromDevice(const OVDeviceInfo& device);
    bool isUpdateAvailableForDevice(const OVDeviceInfo& device) const;
    /** The manager's answer; false with no manager. */
    bool updateDevice(const std::shared_ptr<OVDeviceInfo>& device, OVError* error) const;
    bool recoverDevice(const std::shared_ptr<OVDeviceInfo>& device, OVError* error) const;

    /** Negative, 0 or positive as a is lower, equal or higher, each run of digits read as a number. */
    static int compareNumerically(const QString& a, const QString& b);

private:
    const std::weak_ptr<OVDeviceManagerProtocol> m_deviceMgr;
};
