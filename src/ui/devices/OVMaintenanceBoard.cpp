#include "OVMaintenanceBoard.h"

#include "OVConfiguration.h"
#include "OVDeviceCommandDelegate.h"
#include "OVDeviceInfo.h"
#include "OVDeviceManager.h"
#include "OVMainThread.h"
#include "OrvaneUSBDevice.h"

#include <QTimer>

namespace {

std::weak_ptr<OVDeviceManagerProtocol> weakManager(OVDeviceManager* deviceMgr) {
    return deviceMgr ? std::weak_ptr<OVDeviceManagerProtocol>(deviceMgr->shared_from_this())
                     : std::weak_ptr<OVDeviceManagerProtocol>();
}

} // namespace

/** Hands the maintenance reports to the board on the GUI thread, while it lives. */
class OVMaintenanceBoard::Reports : public OVDeviceCommandDelegate {
public:
    explicit Reports(std::weak_ptr<OVMaintenanceBoard*> board)
        : m_board(std::move(board)) {}

    void onUpdateDeviceCompleted(const std::shared_ptr<OVDeviceInfo>& device, bool success) override {
        onMain([serial = device->serial(), success](OVMaintenanceBoard& b) {
            b.onUpdateDeviceCompleted(serial, success);
        });
    }
    void onResetDeviceCompleted(const std::shared_ptr<OVDeviceInfo>& device, bool success) override {
        onMain([serial = device->serial(), success](OVMaintenanceBoard& b) {
            b.onResetDeviceCompleted(serial, success);
        });
    }
    void onEraseDeviceCompleted(const std::shared_ptr<OVDeviceInfo>& device, bool success) override {
        onMain([serial = device->serial(), success](OVMaintenanceBoard& b) {
            b.onEraseDeviceCompleted(serial, success);
        });
    }
    void onRecoverDeviceCompleted(const std::shared_ptr<OrvaneUSBDevice>& device, bool success) override {
        onMain([location = int(device->locationID()), success](OVMaintenanceBoard& b) {
            b.onRecoverDeviceCompleted(location, success);
        });
    }

private:
    void onMain(std::function<void(OVMaintenanceBoard&)> work) const {
        OVMainThread::async([board = m_board, work = std::move(work)] {
            if (const auto alive = board.lock())
                work(**alive);
        });
    }
    const std::weak_ptr<OVMaintenanceBoard*> m_board;
};

OVMaintenanceBoard::OVMaintenanceBoard(OVDeviceManager* deviceMgr, QObject* parent)
    : QObject(parent)
    , m_deviceMgr(deviceMgr)
    , m_fwUpdater(weakManager(deviceMgr))
    , m_alive(std::make_shared<OVMaintenanceBoard*>(this)) {
    m_reports = std::make_shared<Reports>(m_alive);
    if (m_deviceMgr)
        m_deviceMgr->subscribeToCommandNotification(m_reports);
}

OVMaintenanceBoard::~OVMaintenanceBoard() {
    if (m_deviceMgr)
        m_deviceMgr->unSubscribeToCommandNotification(m_reports);
}

OVMaintenanceFlow& OVMaintenanceBoard::flowFor(const std::shared_ptr<OVDeviceInfo>& device) {
    const QString serial = device->serial();
    Entry& entry = m_entries[serial];
    entry.device = device;
    if (!entry.flow) {
        entry.flow = std::make_unique<OVMaintenanceFlow>(actionsFor(serial),
                                                         m_fwUpdater.getFirmwareVersionIncludedInBundle(),
                                                         OVConfiguration::supportAddress());
        entry.flow->setOSVersion(m_osMajor, m_osMinor);
    }
    return *entry.flow;
}

OVMaintenanceFlow::Actions OVMaintenanceBoard::actionsFor(const QString& serial) {
    // The device operations go to the serial's latest record: a device that restarted has a new one.
    const auto device = [this, serial] { return deviceOf(serial); };
    OVMaintenanceFlow::Actions actions;
    actions.updateDevice = [this, device](OVError* error) {
        return m_fwUpdater.updateDevice(device(), error);
    };
    actions.recoverDevice = [this, device](OVError* error) {
        return m_fwUpdater.recoverDevice(device(), error);
    };
    actions.resetDevice = [this, device](OVError* error) {
        return m_deviceMgr && m_deviceMgr->resetDevice(device(), error);
    };
    actions.eraseDevice = [this, device](OVError* error) {
        return m_deviceMgr && m_deviceMgr->eraseDevice(device(), error);
    };
    actions.later = [this](int milliseconds, std::function<void()> work) {
        QTimer::singleShot(milliseconds, this, std::move(work));
    };
    return actions;
}

void OVMaintenanceBoard::attach(const std::shared_ptr<OVDeviceInfo>& device, Presenter presenter) {
    detach();
    m_presentedSerial = device->serial();
    flowFor(device).present(std::move(presenter));
}

void OVMaintenanceBoard::detach() {
    // What the user sees reaches the view showing the device, if any; the flows keep their messages.
    if (OVMaintenanceFlow* flow = existingFlow(m_presentedSerial))
        flow->withdraw();
    m_presentedSerial.clear();
}

OVMaintenanceFlow* OVMaintenanceBoard::existingFlow(const QString& serial) const {
    const auto found = m_entries.find(serial);
    return found == m_entries.end() ? nullptr : found->second.flow.get();
}

std::shared_ptr<OVDeviceInfo> OVMaintenanceBoard::deviceOf(const QString& serial) const {
    const auto found = m_entries.find(serial);
    return found == m_entries.end() ? nullptr : found->second.device;
}

bool OVMaintenanceBoard::haveToWaitToReconnect(const QString& serial) const {
    const OVMaintenanceFlow* flow = existingFlow(serial);
    return flow && flow->haveToWaitToReconnect();
}

bool OVMaintenanceBoard::isBusy(const QString& serial) const {
    const OVMaintenanceFlow* flow = existingFlow(serial);
    return flow && flow->isBusy();
}

void OVMaintenanceBoard::setOSVersion(int major, int minor) {
    m_osMajor = major;
    m_osMinor = minor;
    for (auto& [serial, entry] : m_entries)
        entry.flow->setOSVersion(major, minor);
}

void OVMaintenanceBoard::onUpdateDeviceCompleted(const QString& serial, bool success) {
    if (OVMaintenanceFlow* flow = existingFlow(serial))
        flow->onUpdateDeviceCompleted(success);
}

void OVMaintenanceBoard::onResetDeviceCompleted(const QString& serial, bool success) {
    if (OVMaintenanceFlow* flow = existingFlow(serial))
        flow->onResetDeviceCompleted(success);
}

void OVMaintenanceBoard::onEraseDeviceCompleted(const QString& serial, bool success) {
    if (OVMaintenanceFlow* flow = existingFlow(serial))
        flow->onEraseDeviceCompleted(success);
}

void OVMaintenanceBoard::onRecoverDeviceCompleted(int location, bool success) {
    // A device in recovery mode has no serial: its flow is the one of the record at that port.
    for (auto& [serial, entry] : m_entries) {
        if (entry.device && entry.device->locationId() == location)
            entry.flow->onRecoverDeviceCompleted(success);
    }
}
