#include "OVCommandGetPage.h"

#include "OVException.h"
#include "OVLogger.h"

void OVCommandGetPage::executeInternal() {
    const std::shared_ptr<OrvaneCDCDevice> device = getCDCDevice();
    if (!device)
        throw OVException(QStringLiteral("no data-mode device"));
    const quint64 page = pageNumber();
    sendRequest([&](std::shared_ptr<void> target, OrvaneCommandCallback callback) {
        return device->getSDCardPage(page, std::move(target), std::move(callback));
    });
}

void OVCommandGetPage::callback(const std::shared_ptr<OrvaneUSBDevice>&, int status, const std::any& response,
                                const QVariantMap&) {
    markCallbackReceived();
    if (status != 0) {
        OVLog("%@ command on device %@ failed! with status %i. PageNumber = %ld", this, getSerial(), status,
              pageNumber());
        onCommandFailed();
        return;
    }
    const QByteArray page = std::any_cast<QByteArray>(response);
    if (page.size() > 512 || page.isEmpty())
        OVLog("Asked for page %ld and the size of the page is %ld", pageNumber(), page.size());
    onCommandSucceed(page);
}
