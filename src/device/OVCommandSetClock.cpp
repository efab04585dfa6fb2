#include "OVCommandSetClock.h"

#include "OVException.h"
#include "OVLogger.h"

OVCommandSetClock::OVCommandSetClock(NetworkDateSource networkDate)
    : m_networkDate(std::move(networkDate)) {}

void OVCommandSetClock::executeInternal() {
    if (!getCDCDevice())
        throw OVException(QStringLiteral("no data-mode device"));
    // The command lives on through the network request: nobody else may hold it meanwhile.
    auto self = std::static_pointer_cast<OVCommandSetClock>(shared_from_this());
    m_networkDate([self](std::optional<OVDate> date) {
        // This runs on an operation queue's worker, which must not see an exception.
        self->guarded([&] {
            if (!date) {
                OVLog("Unable to get network date, will not set clock on device");
                self->onCommandFailed();
                return;
            }
            self->sendClock(*date);
        });
    });
}

void OVCommandSetClock::sendClock(const OVDate& date) {
    const QString serial = getSerial();
    OVLog("Set Clock on device %@", serial);
    try {
        const std::shared_ptr<OrvaneCDCDevice> device = getCDCDevice();
        if (!device)
            throw OVException(QStringLiteral("no data-mode device"));
        sendRequest([&](std::shared_ptr<void> target, OrvaneCommandCallback callback) {
            return device->setRTC(date, std::move(target), std::move(callback));
        });
    } catch (...) {
        OVLog("Unable to send set clock command for device : %@. Error: %@", serial,
              OVException::describe(std::current_exception()));
        onCommandFailed();
    }
}
