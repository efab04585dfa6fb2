#include "OrvaneDeviceLink.h"

#include "OrvaneFirmwareUpdateProtocol.h"
#include "OrvaneSDSessionInformation.h"
#include "OrvaneStatus.h"
#include "OrvaneWire.h"

#include <QtGlobal>

#include <exception>

OrvaneDeviceLink::OrvaneDeviceLink(std::function<void(const QString& keyPath)> report)
    : m_report(std::move(report))
    , m_notifications(std::make_unique<OrvaneCallbackQueue>(QStringLiteral("ovapiusb-notify"))) {}

OrvaneDeviceLink::~OrvaneDeviceLink() {
    shutdown();
}

void OrvaneDeviceLink::shutdown() {
    setTransport(nullptr);
    std::vector<std::shared_ptr<OrvaneCallbackQueue>> retired;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_shutDown = true;
        retired.swap(m_retired);
    }
    // Destroying a queue waits for its thread: every release of a pending target has run.
    retired.clear();
    if (m_notifications)
        m_notifications->finish();
}

void OrvaneDeviceLink::setTransport(std::shared_ptr<OrvaneTransport> transport) {
    std::lock_guard<std::mutex> serial(m_transportMutex);
    std::shared_ptr<OrvaneTransport> old;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_shutDown && transport)
            return;
        old = std::move(m_transport);
    }
    if (old)
        old->stop();
    // Every device of the old transport leaves, with its waiting requests.
    transportDeviceListChanged({});
    if (!transport)
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_transport = transport;
    }
    transport->start(this);
}

std::shared_ptr<OrvaneTransport> OrvaneDeviceLink::transport() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_transport;
}

QList<std::shared_ptr<OrvaneCDCDevice>> OrvaneDeviceLink::cdcDevices() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    QList<std::shared_ptr<OrvaneCDCDevice>> out;
    for (const Attached& a : m_attached) {
        if (!a.descriptor.recovery)
            out.append(std::static_pointer_cast<OrvaneCDCDevice>(a.device));
    }
    return out;
}

QList<std::shared_ptr<OrvaneUSBDevice>> OrvaneDeviceLink::hidDevices() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    QList<std::shared_ptr<OrvaneUSBDevice>> out;
    for (const Attached& a : m_attached) {
        if (a.descriptor.recovery)
            out.append(a.device);
    }
    return out;
}

bool OrvaneDeviceLink::isAttached(quint64 attachment) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return findAttached(attachment) != nullptr;
}

bool OrvaneDeviceLink::isNotificationThread() const {
    return m_notifications && m_notifications->isCurrentThread();
}

const OrvaneDeviceLink::Attached* OrvaneDeviceLink::findAttached(quint64 attachment) const {
    for (const Attached& a : m_attached) {
        if (a.attachment == attachment)
            return &a;
    }
    return nullptr;
}

const OrvaneDeviceLink::Attached*
OrvaneDeviceLink::findDescribed(const OrvaneDeviceDescriptor& descriptor) const {
    for (const Attached& a : m_attached) {
        if (a.descriptor.handle == descriptor.handle && a.descriptor.generation == descriptor.generation)
            return &a;
    }
    return nullptr;
}

void OrvaneDeviceLink::reapRetiredLocked() {
    for (auto it = m_retired.begin(); it != m_retired.end();) {
        if ((*it)->isDone())
            it = m_retired.erase(it); // its thread has ended: the join is immediate
        else
            ++it;
    }
}

bool OrvaneDeviceLink::submit(OrvaneRequest request, Pending pending) {
    std::shared_ptr<OrvaneTransport> transport;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const Attached* attached = pending.device ? findAttached(pending.device->attachment()) : nullptr;
        if (!m_transport || !attached)
            return false;
        request.handle = attached->descriptor.handle;
        request.generation = attached->descriptor.generation;
        transport = m_transport;
        request.id = m_nextId++;
        m_pending.emplace(request.id, std::move(pending));
    }
    if (transport->send(request))
        return true;
    Pending refused;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_pending.find(request.id);
        if (it != m_pending.end()) {
            refused = std::move(it->second);
            m_pending.erase(it);
        }
    }
    return false; // the refused request's target is released here, on the caller's thread
}

void OrvaneDeviceLink::transportDeviceListChanged(const QList<OrvaneDeviceDescriptor>& devices) {
    bool cdcChanged = false;
    bool hidChanged = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        QList<Attached> next;
        for (const OrvaneDeviceDescriptor& d : devices) {
            if (const Attached* known = findDescribed(d)) {
                next.append(*known);
                continue;
            }
            if (m_shutDown)
                continue;
            Attached a;
            a.attachment = m_nextAttachment++;
            a.descriptor = d;
            if (d.recovery) {
                a.device = std::shared_ptr<OrvaneUSBDevice>(
                    new OrvaneUSBDevice(weak_from_this(), a.attachment, d.locationID));
                hidChanged = true;
            } else {
                a.device = std::shared_ptr<OrvaneUSBDevice>(
                    new OrvaneCDCDevice(weak_from_this(), a.attachment, d.locationID,
                                        {d.serial, d.model, d.hwRevision, d.fwRevision}));
                cdcChanged = true;
            }
            a.queue = std::make_shared<OrvaneCallbackQueue>(QStringLiteral("ov-%1").arg(
                d.recovery ? QString::number(d.locationID, 16) : d.serial.right(12)));
            next.append(a);
        }
        for (const Attached& old : m_attached) {
            bool stays = false;
            for (const Attached& n : next)
                stays = stays || n.attachment == old.attachment;
            if (stays)
                continue;
            (old.descriptor.recovery ? hidChanged : cdcChanged) = true;
            auto dropped = std::make_shared<std::vector<Pending>>();
            for (auto it = m_pending.begin(); it != m_pending.end();) {
                if (it->second.device->attachment() == old.attachment) {
                    dropped->push_back(std::move(it->second));
                    it = m_pending.erase(it);
                } else {
                    ++it;
                }
            }
            // The waiting requests die with the device, on its own thread: whoever waits for them
            // learns it there, as it would have learnt the answer.
            old.queue->post([dropped]() mutable { dropped->clear(); });
            old.queue->finish();
            m_retired.push_back(old.queue);
        }
        m_attached = next;
        reapRetiredLocked();
    }
    if (!m_report || !m_notifications)
        return;
    auto report = m_report;
    if (cdcChanged)
        m_notifications->post([report] { report(QStringLiteral("cdcOrvanes")); });
    if (hidChanged)
        m_notifications->post([report] { report(QStringLiteral("hidOrvanes")); });
}

void OrvaneDeviceLink::transportAnswer(const OrvaneAnswer& answer) {
    // Declared before the lock: should the answer find no thread to run on, its target is
    // released after the lock, as releasing it may call back into the library.
    std::shared_ptr<Pending> pending;
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_pending.find(answer.id);
    if (it == m_pending.end())
        return; // refused, timed out, or its device already left: nobody waits for it
    pending = std::make_shared<Pending>(std::move(it->second));
    m_pending.erase(it);
    const Attached* attached = findAttached(pending->device->attachment());
    if (!attached)
        return;
    attached->queue->post([pending, answer] { deliver(*pending, answer); });
}

void OrvaneDeviceLink::transportProgress(quint64 requestId, double level) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_pending.find(requestId);
    if (it == m_pending.end() || !it->second.firmwareTarget)
        return;
    const Attached* attached = findAttached(it->second.device->attachment());
    if (!attached)
        return;
    std::shared_ptr<OrvaneFirmwareUpdateProtocol> target = it->second.firmwareTarget;
    attached->queue->post([target, level] { target->firmwareUpdateCompletionLevel(level); });
}

void OrvaneDeviceLink::deliver(Pending& pending, const OrvaneAnswer& answer) {
    int status = answer.status;
    std::any response;
    if (status == OrvaneStatus::Success) {
        switch (pending.op) {
        case OrvaneOp::Battery:
            if (auto level = OrvaneWire::decodeBattery(answer.payload))
                response = OrvaneBatteryInformation{*level};
            else
                status = OrvaneStatus::MalformedAnswer;
            break;
        case OrvaneOp::Page:
            response = answer.payload;
            break;
        case OrvaneOp::SessionList:
            if (auto list = OrvaneSDSessionInformation::decodeList(answer.payload))
                response = *list;
            else
                status = OrvaneStatus::MalformedAnswer;
            break;
        case OrvaneOp::GetDefaultUser:
            if (auto user = OrvaneWire::decodeUserId(answer.payload))
                response = *user;
            else
                status = OrvaneStatus::MalformedAnswer;
            break;
        default:
            break;
        }
    }
    // A callback that throws must not take the device's thread down with it.
    try {
        if (pending.firmwareTarget)
            pending.firmwareTarget->firmwareUpdateComplete(status);
        else if (pending.callback)
            pending.callback(pending.device, status, response, pending.userInfo);
    } catch (const std::exception& e) {
        qWarning("ovapiusb: a device callback threw: %s", e.what());
    } catch (...) {
        qWarning("ovapiusb: a device callback threw");
    }
    pending = Pending();
}
