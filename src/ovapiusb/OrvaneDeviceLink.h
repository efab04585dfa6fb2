#pragma once

#include "OrvaneCDCDevice.h"
#include "OrvaneCallbackQueue.h"
#include "OrvaneTransport.h"
#include "OrvaneUSBDevice.h"

#include <QList>

#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

class OrvaneFirmwareUpdateProtocol;

/**
 * The library's inside: the device objects of the current transport, the requests waiting for
 * their answers, and one callback thread per attached device. A device that leaves takes its
 * waiting requests with it: their targets are released on the device's thread, their callbacks
 * never run. Each attachment gets a number of the link's own that is never given again, so a
 * device object of an attachment that ended refuses every request for ever, whatever the
 * transport numbers its successors. Thread-safe.
 */
class OrvaneDeviceLink : public OrvaneTransportListener,
                         public std::enable_shared_from_this<OrvaneDeviceLink> {
public:
    /** report is called with "cdcOrvanes" or "hidOrvanes" on the link's notification thread. */
    explicit OrvaneDeviceLink(std::function<void(const QString& keyPath)> report);
    ~OrvaneDeviceLink() override;

    /** Stops the current transport (its devices leave), then starts this one; null means none. */
    void setTransport(std::shared_ptr<OrvaneTransport> transport);
    std::shared_ptr<OrvaneTransport> transport() const;
    /** Stops everything; afterwards the link reports nothing and refuses every request. */
    void shutdown();

    QList<std::shared_ptr<OrvaneCDCDevice>> cdcDevices() const;
    QList<std::shared_ptr<OrvaneUSBDevice>> hidDevices() const;
    bool isAttached(quint64 attachment) const;
    /** True on the thread that runs the change reports. */
    bool isNotificationThread() const;

    /** A request waiting for its answer. */
    struct Pending {
        std::shared_ptr<OrvaneUSBDevice> device;
        OrvaneOp op = OrvaneOp::Battery;
        std::shared_ptr<void> target;
        OrvaneCommandCallback callback;
        QVariantMap userInfo;
        std::shared_ptr<OrvaneFirmwareUpdateProtocol> firmwareTarget;
    };
    bool submit(OrvaneRequest request, Pending pending);

    void transportDeviceListChanged(const QList<OrvaneDeviceDescriptor>& devices) override;
    void transportAnswer(const OrvaneAnswer& answer) override;
    void transportProgress(quint64 requestId, double level) override;

private:
    struct Attached {
        quint64 attachment = 0;
        OrvaneDeviceDescriptor descriptor;
        std::shared_ptr<OrvaneUSBDevice> device;
        std::shared_ptr<OrvaneCallbackQueue> queue;
    };
    static void deliver(Pending& pending, const OrvaneAnswer& answer);
    const Attached* findAttached(quint64 attachment) const;
    const Attached* findDescribed(const OrvaneDeviceDescriptor& descriptor) const;
    void reapRetiredLocked();

    mutable std::mutex m_mutex;
    std::mutex m_transportMutex;
    std::shared_ptr<OrvaneTransport> m_transport;
    QList<Attached> m_attached;
    std::unordered_map<quint64, Pending> m_pending;
    quint64 m_nextId = 1;
    quint64 m_nextAttachment = 1;
    std::vector<std::shared_ptr<OrvaneCallbackQueue>> m_retired;
    std::function<void(const QString&)> m_report;
    std::unique_ptr<OrvaneCallbackQueue> m_notifications;
    bool m_shutDown = false;
};
