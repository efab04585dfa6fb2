#pragma once

#include "OVFirmwareUpdater.h"
#include "OVMaintenanceFlow.h"

#include <QObject>
#include <QString>

#include <map>
#include <memory>

class OVDeviceInfo;
class OVDeviceManager;

/**
 * The maintenance flows of every device, one per serial: an update, a restore or an erase belongs to
 * the device, not to the detail view that started it. The board hears the device reports for as long
 * as it lives, so a flow goes on (a failed update turns into a recovery, an erase completes) while
 * the user looks at another view; the detail that shows the device next attaches to its flow and
 * sees the operation still running or its outcome.
 *
 * Owned by the device list, which outlives its views. GUI thread; device reports arrive on the
 * device library's threads and are queued onto it.
 */
class OVMaintenanceBoard : public QObject {
public:
    /** What a detail view does for the flow of the device it shows. */
    using Presenter = OVMaintenanceFlow::Presenter;

    /** deviceMgr is not owned and outlives the board; null only in views that show no device. */
    explicit OVMaintenanceBoard(OVDeviceManager* deviceMgr, QObject* parent = nullptr);
    ~OVMaintenanceBoard() override;

    /** The flow of device, made on first use; its operations go to the latest record of the serial. */
    OVMaintenanceFlow& flowFor(const std::shared_ptr<OVDeviceInfo>& device);
    /** The presenter now shows device: its flow shows its state there. Replaces any other presenter. */
    void attach(const std::shared_ptr<OVDeviceInfo>& device, Presenter presenter);
    /** No view shows a device any more; the flows go on without one. */
    void detach();
    /** The device restarts after an update or a restore: views hold it while it is away. */
    bool haveToWaitToReconnect(const QString& serial) const;
    bool isBusy(const QString& serial) const;
    const OVFirmwareUpdater& firmwareUpdater() const { return m_fwUpdater; }
    /** The operating system's version for the firmware lock, for every flow (tests pretend a macOS one). */
    void setOSVersion(int major, int minor);

private:
    class Reports;
    struct Entry {
        std::shared_ptr<OVDeviceInfo> device;
        std::unique_ptr<OVMaintenanceFlow> flow;
    };
    OVMaintenanceFlow::Actions actionsFor(const QString& serial);
    void onUpdateDeviceCompleted(const QString& serial, bool success);
    void onResetDeviceCompleted(const QString& serial, bool success);
    void onEraseDeviceCompleted(const QString& serial, bool success);
    void onRecoverDeviceCompleted(int location, bool success);
    OVMaintenanceFlow* existingFlow(const QString& serial) const;
    std::shared_ptr<OVDeviceInfo> deviceOf(const QString& serial) const;

    OVDeviceManager* const m_deviceMgr;
    const OVFirmwareUpdater m_fwUpdater;
    std::map<QString, Entry> m_entries;
    /** The serial of the device a view shows; empty when none. */
    QString m_presentedSerial;
    int m_osMajor = 0;
    int m_osMinor = 0;
    std::shared_ptr<Reports> m_reports;
    /** Lives as long as the board; reports queued to the GUI thread check it there. */
    std::shared_ptr<OVMaintenanceBoard*> m_alive;
};
