#pragma once

#include "OrvaneTransport.h"

#include <QString>
#include <QVariantMap>

#include <any>
#include <functional>
#include <memory>

class OrvaneDeviceLink;
class OrvaneFirmwareUpdateProtocol;
class OrvaneUSBDevice;

/**
 * The answer of a device request: the device, its status (0 success, see OrvaneStatus), the
 * op's response (see OrvaneCDCDevice) and the user info given with the request. Runs on the
 * library's thread of that device.
 */
using OrvaneCommandCallback = std::function<void(const std::shared_ptr<OrvaneUSBDevice>& device, int status,
                                                 const std::any& response, const QVariantMap& userInfo)>;

/**
 * An Orvane device on USB, as the library found it; in recovery (HID) mode it is only this, in
 * data mode an OrvaneCDCDevice. One object per attachment: a device that restarts comes back as a
 * new object. Thread-safe; requests may be sent from any thread, including from a callback.
 */
class OrvaneUSBDevice : public std::enable_shared_from_this<OrvaneUSBDevice> {
public:
    /** A device that reaches nothing (every request is refused); for records and tests. */
    explicit OrvaneUSBDevice(quint32 locationID);
    virtual ~OrvaneUSBDevice();
    OrvaneUSBDevice(const OrvaneUSBDevice&) = delete;
    OrvaneUSBDevice& operator=(const OrvaneUSBDevice&) = delete;

    /** The USB location of the port the device is attached to. */
    quint32 locationID() const { return m_locationID; }
    /** True while the device is attached; requests to a detached device are refused. */
    bool isAttached() const;

    /**
     * Writes the firmware image at firmwareFilePath (an .hff file). Answers whether the device took
     * the write (false for an unreadable file or a detached device); then the target is told the
     * progress and the completion. The library holds target until completion or until the device
     * leaves, whichever is first; a device that leaves never completes.
     */
    bool flashFirmware(const QString& firmwareFilePath, std::shared_ptr<OrvaneFirmwareUpdateProtocol> target);

    /** "OrvaneUSBDevice location:0x%X". */
    virtual QString description() const;

protected:
    friend class OrvaneDeviceLink;
    OrvaneUSBDevice(std::weak_ptr<OrvaneDeviceLink> link, quint64 attachment, quint32 locationID);

    /**
     * Sends one request. The library keeps target alive until callback has run, or until the device
     * leaves with the request pending; callback is then never called.
     */
    bool send(OrvaneRequest request, std::shared_ptr<void> target, OrvaneCommandCallback callback,
              const QVariantMap& userInfo);

    /** The library's number of this attachment; never given to another, 0 for none. */
    quint64 attachment() const { return m_attachment; }

private:
    const std::weak_ptr<OrvaneDeviceLink> m_link;
    const quint64 m_attachment = 0;
    const quint32 m_locationID = 0;
};
