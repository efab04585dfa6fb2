#include "OrvaneCDCDevice.h"

#include "OVLogFormat.h"
#include "OrvaneDate.h"

OrvaneCDCDevice::OrvaneCDCDevice(OrvaneDeviceInformations informations, quint32 locationID)
    : OrvaneUSBDevice(locationID)
    , m_informations(std::move(informations)) {}

OrvaneCDCDevice::OrvaneCDCDevice(std::weak_ptr<OrvaneDeviceLink> link, quint64 attachment, quint32 locationID,
                                 OrvaneDeviceInformations informations)
    : OrvaneUSBDevice(std::move(link), attachment, locationID)
    , m_informations(std::move(informations)) {}

bool OrvaneCDCDevice::sendSimple(OrvaneOp op, quint64 arg1, quint64 arg2, std::shared_ptr<void> target,
                                 OrvaneCommandCallback callback, const QVariantMap& userInfo) {
    OrvaneRequest request;
    request.op = op;
    request.arg1 = arg1;
    request.arg2 = arg2;
    return send(std::move(request), std::move(target), std::move(callback), userInfo);
}

bool OrvaneCDCDevice::getBatteryInformationsAndNotify(std::shared_ptr<void> target,
                                                      OrvaneCommandCallback callback,
                                                      const QVariantMap& userInfo) {
    return sendSimple(OrvaneOp::Battery, 0, 0, std::move(target), std::move(callback), userInfo);
}

bool OrvaneCDCDevice::getSDCardPage(quint64 pageNumber, std::shared_ptr<void> target,
                                    OrvaneCommandCallback callback, const QVariantMap& userInfo) {
    return sendSimple(OrvaneOp::Page, pageNumber, 0, std::move(target), std::move(callback), userInfo);
}

bool OrvaneCDCDevice::getSDRecordedSessionListWithTime(const OVDate& fromDate, const OVDate& toDate,
                                                       std::shared_ptr<void> target,
                                                       OrvaneCommandCallback callback,
                                                       const QVariantMap& userInfo) {
    return sendSimple(OrvaneOp::SessionList, orvaneTime(fromDate), orvaneTime(toDate), std::move(target),
                      std::move(callback), userInfo);
}

bool OrvaneCDCDevice::eraseSDCardAndNotify(std::shared_ptr<void> target, OrvaneCommandCallback callback,
                                           const QVariantMap& userInfo) {
    return sendSimple(OrvaneOp::Erase, 0, 0, std::move(target), std::move(callback), userInfo);
}

bool OrvaneCDCDevice::identifyAndNotify(std::shared_ptr<void> target, OrvaneCommandCallback callback,
                                        const QVariantMap& userInfo) {
    return sendSimple(OrvaneOp::Identify, 0, 0, std::move(target), std::move(callback), userInfo);
}

bool OrvaneCDCDevice::resetToFactoryDefaultAndNotify(std::shared_ptr<void> target,
                                                     OrvaneCommandCallback callback,
                                                     const QVariantMap& userInfo) {
    return sendSimple(OrvaneOp::Reset, 0, 0, std::move(target), std::move(callback), userInfo);
}

bool OrvaneCDCDevice::setRTC(const OVDate& date, std::shared_ptr<void> target, OrvaneCommandCallback callback,
                             const QVariantMap& userInfo) {
    return sendSimple(OrvaneOp::SetRTC, orvaneTime(date), 0, std::move(target), std::move(callback),
                      userInfo);
}

bool OrvaneCDCDevice::setDefaultUser(quint32 userId, std::shared_ptr<void> target,
                                     OrvaneCommandCallback callback, const QVariantMap& userInfo) {
    return sendSimple(OrvaneOp::SetDefaultUser, userId, 0, std::move(target), std::move(callback), userInfo);
}

bool OrvaneCDCDevice::getDefaultUserAndNotify(std::shared_ptr<void> target, OrvaneCommandCallback callback,
                                              const QVariantMap& userInfo) {
    return sendSimple(OrvaneOp::GetDefaultUser, 0, 0, std::move(target), std::move(callback), userInfo);
}

QString OrvaneCDCDevice::description() const {
    return OVLogFormat::format("OrvaneCDCDevice serial:%@ location:0x%X", m_informations.serial,
                               locationID());
}
