#include "OrvaneUSBDevice.h"

#include "OVLogFormat.h"
#include "OrvaneDeviceLink.h"
#include "OrvaneFirmwareUpdateProtocol.h"
#include "OrvaneWire.h"

#include <QFile>

OrvaneUSBDevice::OrvaneUSBDevice(quint32 locationID)
    : m_locationID(locationID) {}

OrvaneUSBDevice::OrvaneUSBDevice(std::weak_ptr<OrvaneDeviceLink> link, quint64 attachment, quint32 locationID)
    : m_link(std::move(link))
    , m_attachment(attachment)
    , m_locationID(locationID) {}

OrvaneUSBDevice::~OrvaneUSBDevice() = default;

bool OrvaneUSBDevice::isAttached() const {
    const std::shared_ptr<OrvaneDeviceLink> link = m_link.lock();
    return link && link->isAttached(m_attachment);
}

bool OrvaneUSBDevice::send(OrvaneRequest request, std::shared_ptr<void> target,
                           OrvaneCommandCallback callback, const QVariantMap& userInfo) {
    const std::shared_ptr<OrvaneDeviceLink> link = m_link.lock();
    if (!link)
        return false;
    OrvaneDeviceLink::Pending pending;
    pending.device = shared_from_this();
    pending.op = request.op;
    pending.target = std::move(target);
    pending.callback = std::move(callback);
    pending.userInfo = userInfo;
    return link->submit(std::move(request), std::move(pending));
}

bool OrvaneUSBDevice::flashFirmware(const QString& firmwareFilePath,
                                    std::shared_ptr<OrvaneFirmwareUpdateProtocol> target) {
    const std::shared_ptr<OrvaneDeviceLink> link = m_link.lock();
    if (!link || !target)
        return false;
    QFile file(firmwareFilePath);
    if (!file.open(QIODevice::ReadOnly) || file.size() > OrvaneWire::kMaxFirmwareSize)
        return false;
    OrvaneRequest request;
    request.op = OrvaneOp::Flash;
    request.blob = file.readAll();
    OrvaneDeviceLink::Pending pending;
    pending.device = shared_from_this();
    pending.op = OrvaneOp::Flash;
    pending.target = target;
    pending.firmwareTarget = std::move(target);
    return link->submit(std::move(request), std::move(pending));
}

QString OrvaneUSBDevice::description() const {
    return OVLogFormat::format("OrvaneUSBDevice location:0x%X", m_locationID);
}
