#include "OVCommandGetSessionList.h"

#include "OVException.h"
#include "OVLogger.h"
#include "OrvaneDate.h"

OVDate OVCommandGetSessionList::fromDate() const {
    std::lock_guard<std::mutex> lock(m_datesMutex);
    return m_fromDate;
}

void OVCommandGetSessionList::setFromDate(const OVDate& date) {
    std::lock_guard<std::mutex> lock(m_datesMutex);
    m_fromDate = date;
}

OVDate OVCommandGetSessionList::toDate() const {
    std::lock_guard<std::mutex> lock(m_datesMutex);
    return m_toDate;
}

void OVCommandGetSessionList::setToDate(const OVDate& date) {
    std::lock_guard<std::mutex> lock(m_datesMutex);
    m_toDate = date;
}

void OVCommandGetSessionList::executeInternal() {
    const std::shared_ptr<OrvaneCDCDevice> device = getCDCDevice();
    if (!device)
        throw OVException(QStringLiteral("no data-mode device"));
    const OVDate from = fromDate();
    const OVDate to = toDate();
    OVLog("Fetching session list from %@ (%llu) to %@ (%llu) for device : %@", from, orvaneTime(from), to,
          orvaneTime(to), getSerial());
    sendRequest([&](std::shared_ptr<void> target, OrvaneCommandCallback callback) {
        return device->getSDRecordedSessionListWithTime(from, to, std::move(target), std::move(callback));
    });
}

void OVCommandGetSessionList::callback(const std::shared_ptr<OrvaneUSBDevice>& device, int status,
                                       const std::any& response, const QVariantMap&) {
    markCallbackReceived();
    if (status != 0) {
        OVLog("%@ command on device %@ failed! with status %i", this, getSerial(), status);
        onCommandFailed();
        return;
    }
    const auto cdc = std::dynamic_pointer_cast<OrvaneCDCDevice>(device);
    const QString serial = cdc ? cdc->deviceInformations().serial : getSerial();
    const QString firmwareText = cdc ? cdc->deviceInformations().fwRevision : QString();
    OVLog("%@ command on device %@ success!", this, serial);
    OVLog("----------SESSION LIST (%@)----------", serial);
    QList<std::shared_ptr<OVSession>> sessions;
    for (const std::shared_ptr<const OrvaneSDSessionInformation>& record :
         std::any_cast<OrvaneSessionList>(response)) {
        if (record->isCorrupted) {
            OVLog("Session is corrupted : %@", record);
            if (record->corruptionStatus == 0)
                continue;
        }
        if (record->startPageAddress == record->endPageAddress) {
            OVLog("Session is empty : %@", record);
            continue;
        }
        const OrvaneSDSessionInformation::SessionInformation& info = record->sessionInformation;
        auto session = std::make_shared<OVSession>();
        session->setOvSession(record);
        session->setStart(record->startTime);
        session->setEnd(record->endTime);
        session->setStartPage(record->startPageAddress);
        session->setEndPage(record->endPageAddress);
        session->setUserId(info.userUID);
        session->setApplicationId(info.applicationUID);
        session->setCorrupted(record->isCorrupted);
        session->setDeviceSerial(serial);
        session->setPageCount(record->pageCount);
        session->setData(info.structure);
        session->setSoftwareProtocol(info.protocolNumber());
        session->setSoftwareUid(info.softwareId());
        session->setDeviceUid(info.deviceId());
        if (!firmwareText.contains(QLatin1Char('.'))) {
            session->setFirmwareRev(firmwareText);
        } else {
            session->setFirmwareRev(OVLogFormat::format(
                "%i.%i.%i", info.firmware & 0xFF, (info.firmware >> 8) & 0xFF, (info.firmware >> 16) & 0xFF));
        }
        OVLog("%@", session);
        sessions.append(session);
    }
    OVLog("------------------------------------");
    onCommandSucceed(sessions);
}
