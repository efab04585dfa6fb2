#include "OVRecord.h"

#include "OVHelper.h"
#include "OVLogFormat.h"
#include "OVSession.h"

#include <cmath>

OVRecord OVRecord::buildRecordFromSession(const OVSession& session) {
    OVRecord record;
    record.data = session.data();
    record.dev_id = session.deviceUid();
    record.device = OVHelper::getDeviceURIFromSerial(session.deviceSerial());
    record.endTimestamp = session.end();
    record.firmware_rev = session.firmwareRev();
    record.npages = static_cast<qint64>(session.pageCount());
    record.soft_protocole = static_cast<qint64>(session.softwareProtocol());
    record.soft_uid = session.softwareUid();
    record.startTimestamp = session.start();
    record.userUri = OVHelper::getUserURIFromId(session.userId());
    return record;
}

bool OVRecord::matchesSession(const OVSession& session) const {
    // Start times are compared as the server stores them: cut to whole units.
    const auto units = [](const OVDate& date) {
        return std::trunc(OVHelper::convertDateToOrvatimestamp(date));
    };
    return startTimestamp && units(*startTimestamp) == units(session.start()) && device &&
           *device == OVHelper::getDeviceURIFromSerial(session.deviceSerial()) && user && user->identifier &&
           static_cast<quint64>(*user->identifier) == session.userId();
}

QString OVRecord::description() const {
    return OVLogFormat::format("uri:%@, device:%@, start:%@, status:%i", resource_uri, device, startTimestamp,
                               static_cast<int>(status));
}
