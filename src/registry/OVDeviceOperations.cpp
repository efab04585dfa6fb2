#include "OVDeviceOperations.h"

#include "OVDeviceCommandExecutor.h"
#include "OVDeviceInfo.h"
#include "OVDeviceManager.h"
#include "OVHelper.h"
#include "OVLogger.h"
#include "OVSyslogSink.h"
#include "OrvaneUSBDeviceManager.h"

#include <QCoreApplication>

using Lock = std::lock_guard<std::mutex>;

OVDeviceOperations::OVDeviceOperations(OrvaneUSBDeviceManager* library, OVDeviceCommandExecutor* executor)
    : m_library(library)
    , m_executor(executor) {}

std::shared_ptr<OrvaneCDCDevice>
OVDeviceOperations::findUsbDevice(const std::shared_ptr<OVDeviceInfo>& device) const {
    if (!device)
        return nullptr;
    const QString serial = device->serial();
    for (const auto& cdc : m_library->cdcOrvanes()) {
        if (cdc->deviceInformations().serial == serial)
            return cdc;
    }
    return nullptr;
}

OVError OVDeviceOperations::notFoundError(const QString& serial) {
    const QString text = QCoreApplication::translate("OVDeviceManager", "Device %@ not found");
    return OVHelper::createError(QString(text).replace(QLatin1String("%@"), serial), 1,
                                 OVDeviceManager::kErrorDomain);
}

OVError OVDeviceOperations::noSessionError(const QString& serial, qint64 startSeconds) {
    const QString text =
        QCoreApplication::translate("OVDeviceManager", "Device %1 has no session starting at %2");
    return OVHelper::createError(text.arg(serial).arg(startSeconds), 1, OVDeviceManager::kErrorDomain);
}

OVError OVDeviceOperations::notStoredError(const QString& serial) {
    const QString text = QCoreApplication::translate(
        "OVDeviceManager", "The session is not all stored yet: plug in device %1 to download the rest");
    return OVHelper::createError(text.arg(serial), 1, OVDeviceManager::kErrorDomain);
}

bool OVDeviceOperations::withUsbDevice(
    const std::shared_ptr<OVDeviceInfo>& device, const char* notFoundLine, OVError* error,
    const std::function<void(const std::shared_ptr<OrvaneCDCDevice>&)>& send) {
    if (const std::shared_ptr<OrvaneCDCDevice> cdc = findUsbDevice(device)) {
        send(cdc);
        return true;
    }
    const QString serial = device ? device->serial() : QString();
    OVLog(notFoundLine, serial);
    OVError::set(error, notFoundError(serial));
    return false;
}

bool OVDeviceOperations::identifyDevice(const std::shared_ptr<OVDeviceInfo>& device, OVError* error) {
    return withUsbDevice(device, "No device %@ found to send identify command", error,
                         [this](const auto& cdc) { m_executor->identifyCommandForDevice(cdc); });
}

bool OVDeviceOperations::eraseDevice(const std::shared_ptr<OVDeviceInfo>& device, OVError* error) {
    return withUsbDevice(device, "No device %@ found to send erase command", error, [this](const auto& cdc) {
        m_executor->eraseCommandForDevice(cdc);
        m_executor->setClockCommandForDevice(cdc);
    });
}

bool OVDeviceOperations::resetDevice(const std::shared_ptr<OVDeviceInfo>& device, OVError* error) {
    return withUsbDevice(device, "No device %@ found to send reset command", error,
                         [this](const auto& cdc) { m_executor->resetCommandForDevice(cdc); });
}

bool OVDeviceOperations::assignDefaultUserToDevice(const std::shared_ptr<OVDeviceInfo>& device,
                                                   quint64 userId, OVError* error) {
    return withUsbDevice(device, "No device %@ found to send assign command", error,
                         [this, userId](const auto& cdc) { m_executor->assignDefaultUser(cdc, userId); });
}

bool OVDeviceOperations::getDefaultUserForDevice(const std::shared_ptr<OVDeviceInfo>& device,
                                                 OVError* error) {
    return withUsbDevice(device, "No device %@ found to send get user command", error,
                         [this](const auto& cdc) { m_executor->getDefaultUser(cdc); });
}

bool OVDeviceOperations::updateDevice(const std::shared_ptr<OVDeviceInfo>& device,
                                      const QString& firmwareFile, OVError* error) {
    return withUsbDevice(device, "No device %@ found to send update command", error,
                         [&](const auto& cdc) { m_executor->updateCommandForDevice(cdc, firmwareFile); });
}

bool OVDeviceOperations::recoverDevice(const std::shared_ptr<OVDeviceInfo>& device,
                                       const QString& firmwareFile, OVError* error) {
    const QString serial = device ? device->serial() : QString();
    const quint32 location = device ? quint32(device->locationId()) : 0;
    OVLog("Recover Device %@", serial);
    std::shared_ptr<OrvaneUSBDevice> match;
    for (const auto& hid : m_library->hidOrvanes()) {
        OVSyslogSink::writeDirect(OVLogFormat::format("hid LocationId = 0x%X", hid->locationID()));
        OVSyslogSink::writeDirect(OVLogFormat::format("device LocationId = 0x%X", location));
        if (device && hid->locationID() == location) {
            match = hid;
            break;
        }
    }
    if (!match) {
        OVLog("No device %@ found to send recover command", serial);
        OVError::set(error, notFoundError(serial));
        return false;
    }
    {
        Lock lock(m_mutex);
        m_deviceRecovering.insert(location, true);
    }
    m_executor->recoverDevice(match, firmwareFile);
    return true;
}

bool OVDeviceOperations::isDeviceRecovering(const std::shared_ptr<OVDeviceInfo>& device) const {
    if (!device)
        return false;
    Lock lock(m_mutex);
    return m_deviceRecovering.contains(quint32(device->locationId()));
}

void OVDeviceOperations::onRecoverDeviceCompleted(const std::shared_ptr<OrvaneUSBDevice>& device) {
    if (!device)
        return;
    Lock lock(m_mutex);
    m_deviceRecovering.remove(device->locationID());
}

void OVDeviceOperations::noteDeparture(const QString& serial) {
    Lock lock(m_mutex);
    m_departures.insert(serial, std::chrono::steady_clock::now());
}

bool OVDeviceOperations::isAtItsPortStill(const OVDeviceInfo& record) const {
    if (record.isConnected() || record.isInRecovery())
        return true;
    // A device that restarts into recovery mode leaves data mode just before; one unplugged earlier is
    // not the device now at its old port, which would otherwise never be recovered.
    Lock lock(m_mutex);
    const auto left = m_departures.constFind(record.serial());
    return left != m_departures.constEnd() &&
           std::chrono::steady_clock::now() - left.value() < m_restartWindow;
}

void OVDeviceOperations::setRecoveryRestartWindow(std::chrono::milliseconds window) {
    Lock lock(m_mutex);
    m_restartWindow = window;
}
