#include "SimDeviceHub.h"

#include "OrvaneSDSessionInformation.h"
#include "OrvaneStatus.h"
#include "OrvaneWire.h"
#include "SimFirmwareImage.h"
#include "SimSessionContent.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <deque>

namespace {
constexpr quint32 kFirstLocation = 0x14100000u;
constexpr quint32 kLocationStep = 0x00100000u;
constexpr int kFlashBlockSize = 4096;
constexpr int kDumpChunkPages = 64;
// Request and answer framing on the wire, counted in the link time of every request.
constexpr qint64 kRequestOverheadBytes = 16;

bool setError(QString* error, const QString& text) {
    if (error)
        *error = text;
    return false;
}

QString locationText(quint32 location) {
    return QStringLiteral("0x") + QString::number(location, 16).toUpper();
}
} // namespace

// One attachment of a device: its request queue and worker. `alive` is cleared, under the
// delivery lock, before the departure is published, so no answer follows a departure.
struct SimDeviceHub::Attachment {
    quint32 handle = 0;
    QString serial;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Job> jobs;
    bool stopping = false;
    std::mutex deliveryMutex;
    bool alive = true;
    std::atomic<bool> finished{false};
    std::thread worker;

    /** Waits out a link delay; false when the attachment ended meanwhile. */
    bool waitFor(qint64 microseconds) {
        std::unique_lock<std::mutex> lock(mutex);
        if (microseconds <= 0)
            return !stopping;
        return !wake.wait_for(lock, std::chrono::microseconds(microseconds), [this] { return stopping; });
    }
};

SimDeviceHub::SimDeviceHub(const QString& stateDirectory, const SimLinkModel& link)
    : m_stateDirectory(stateDirectory)
    , m_link(link) {
    m_timerThread = std::thread([this] { runTimers(); });
    load();
}

SimDeviceHub::~SimDeviceHub() {
    {
        std::lock_guard<std::mutex> lock(m_timerMutex);
        m_timersStopping = true;
        m_timers.clear();
    }
    m_timerWake.notify_all();
    m_timerThread.join();
    std::vector<std::shared_ptr<Attachment>> workers;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_shuttingDown = true;
        // Leaving devices marked plugged: a daemon that starts on the same state attaches them again.
        while (!m_attached.isEmpty())
            detachLocked(m_attached.first()->serial);
        workers.swap(m_retired);
    }
    for (const auto& a : workers) {
        if (a->worker.joinable())
            a->worker.join();
    }
}

QStringList SimDeviceHub::loadErrors() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_loadErrors;
}

void SimDeviceHub::load() {
    if (m_stateDirectory.isEmpty())
        return;
    QDir dir(m_stateDirectory);
    dir.mkpath(QStringLiteral("."));
    std::lock_guard<std::mutex> lock(m_mutex);
    const QStringList files = dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
    for (const QString& name : files) {
        QFile file(dir.filePath(name));
        QJsonParseError parseError;
        const QJsonDocument doc = file.open(QIODevice::ReadOnly)
                                      ? QJsonDocument::fromJson(file.readAll(), &parseError)
                                      : QJsonDocument();
        QString error;
        std::optional<SimVirtualDevice> device =
            doc.isObject() ? SimVirtualDevice::fromJson(doc.object(), &error) : std::nullopt;
        if (!device || !SimPlugOptions::validSerial(device->serial) || m_devices.count(device->serial)) {
            m_loadErrors << QStringLiteral("%1: %2").arg(name, error.isEmpty() ? QStringLiteral("unreadable")
                                                                               : error);
            continue;
        }
        m_devices.emplace(device->serial, *device);
    }
    std::vector<SimVirtualDevice*> plugged;
    for (auto& entry : m_devices) {
        if (entry.second.plugged)
            plugged.push_back(&entry.second);
    }
    std::sort(plugged.begin(), plugged.end(), [](auto* a, auto* b) { return a->location < b->location; });
    for (SimVirtualDevice* d : plugged)
        attachLocked(*d);
}

void SimDeviceHub::save(const SimVirtualDevice& device) const {
    if (m_stateDirectory.isEmpty())
        return;
    QSaveFile file(QDir(m_stateDirectory).filePath(device.serial + QStringLiteral(".json")));
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(QJsonDocument(device.toJson()).toJson(QJsonDocument::Indented));
    file.commit();
}

void SimDeviceHub::addListener(SimHubListener* listener) {
    std::lock_guard<std::mutex> lock(m_publishMutex);
    if (!m_listeners.contains(listener))
        m_listeners.append(listener);
    listener->hubDeviceListChanged(attachedDevices());
}

void SimDeviceHub::removeListener(SimHubListener* listener) {
    std::lock_guard<std::mutex> lock(m_publishMutex);
    m_listeners.removeAll(listener);
}

void SimDeviceHub::publish() {
    // The snapshot is taken inside the publish lock: the last list told is always the current one.
    std::lock_guard<std::mutex> lock(m_publishMutex);
    const QList<OrvaneDeviceDescriptor> devices = attachedDevices();
    for (SimHubListener* listener : m_listeners)
        listener->hubDeviceListChanged(devices);
}

QList<OrvaneDeviceDescriptor> SimDeviceHub::attachedDevices() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    QList<OrvaneDeviceDescriptor> out;
    for (const auto& a : m_attached) {
        auto it = m_devices.find(a->serial);
        if (it != m_devices.end())
            out.append(it->second.descriptor(a->handle));
    }
    return out;
}

bool SimDeviceHub::isAttachedLocked(const QString& serial) const {
    for (const auto& a : m_attached) {
        if (a->serial == serial)
            return true;
    }
    return false;
}

void SimDeviceHub::attachLocked(SimVirtualDevice& device) {
    if (m_shuttingDown || isAttachedLocked(device.serial))
        return;
    auto a = std::make_shared<Attachment>();
    a->handle = m_nextHandle++;
    a->serial = device.serial;
    a->worker = std::thread([this, a] { runWorker(a); });
    m_attached.append(a);
}

void SimDeviceHub::detachLocked(const QString& serial) {
    for (int i = 0; i < m_attached.size(); ++i) {
        std::shared_ptr<Attachment> a = m_attached.at(i);
        if (a->serial != serial)
            continue;
        m_attached.removeAt(i);
        {
            std::lock_guard<std::mutex> delivery(a->deliveryMutex);
            a->alive = false;
        }
        {
            std::lock_guard<std::mutex> queue(a->mutex);
            a->stopping = true;
            a->jobs.clear(); // requests it had pending are never answered
        }
        a->wake.notify_all();
        m_retired.push_back(a);
        break;
    }
    reapLocked();
}

void SimDeviceHub::reapLocked() {
    for (auto it = m_retired.begin(); it != m_retired.end();) {
        if ((*it)->finished.load()) {
            (*it)->worker.join();
            it = m_retired.erase(it);
        } else {
            ++it;
        }
    }
}

SimVirtualDevice* SimDeviceHub::findLocked(const QString& serial, QString* error) {
    auto it = m_devices.find(serial);
    if (it == m_devices.end()) {
        setError(error, QStringLiteral("no device with serial %1").arg(serial));
        return nullptr;
    }
    return &it->second;
}

SimVirtualDevice* SimDeviceHub::findPluggedLocked(const QString& serial, QString* error) {
    SimVirtualDevice* d = findLocked(serial, error);
    if (d && !d->plugged) {
        setError(error, QStringLiteral("device %1 is not plugged in").arg(serial));
        return nullptr;
    }
    return d;
}

const SimVirtualDevice* SimDeviceHub::findLocked(const QString& serial, QString* error) const {
    return const_cast<SimDeviceHub*>(this)->findLocked(serial, error);
}

bool SimDeviceHub::locationTakenLocked(quint32 location, const QString& except) const {
    for (const auto& entry : m_devices) {
        if (entry.second.plugged && entry.second.location == location && entry.first != except)
            return true;
    }
    return false;
}

quint32 SimDeviceHub::freeLocationLocked() const {
    quint32 location = kFirstLocation;
    while (locationTakenLocked(location, QString()))
        location += kLocationStep;
    return location;
}

QString SimDeviceHub::freeSerialLocked() const {
    for (quint64 n = 1;; ++n) {
        const QString serial = QStringLiteral("OVR%1").arg(n, 13, 10, QLatin1Char('0'));
        if (!m_devices.count(serial))
            return serial;
    }
}

std::optional<QString> SimDeviceHub::plug(const SimPlugOptions& options, QString* error) {
    QString serial;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!options.serial.isEmpty() && m_devices.count(options.serial)) {
            // A known device: plug it back as it was.
            SimVirtualDevice& d = m_devices[options.serial];
            if (d.plugged) {
                if (options.reuse)
                    return d.serial;
                setError(error, QStringLiteral("device %1 is already plugged in").arg(d.serial));
                return std::nullopt;
            }
            const quint32 location = options.location.value_or(d.location);
            if (locationTakenLocked(location, d.serial)) {
                setError(error, QStringLiteral("location %1 is taken").arg(locationText(location)));
                return std::nullopt;
            }
            d.location = location;
            d.plugged = true;
            save(d);
            attachLocked(d);
            serial = d.serial;
        } else {
            if (!options.validate(error))
                return std::nullopt;
            if (options.location && locationTakenLocked(*options.location, QString())) {
                setError(error, QStringLiteral("location %1 is taken").arg(locationText(*options.location)));
                return std::nullopt;
            }
            SimVirtualDevice d =
                options.makeDevice(options.serial.isEmpty() ? freeSerialLocked() : options.serial,
                                   options.location.value_or(freeLocationLocked()));
            d.plugged = true;
            serial = d.serial;
            auto inserted = m_devices.emplace(serial, d);
            save(inserted.first->second);
            attachLocked(inserted.first->second);
        }
    }
    publish();
    return serial;
}

bool SimDeviceHub::unplug(const QString& serial, QString* error) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        SimVirtualDevice* d = findPluggedLocked(serial, error);
        if (!d)
            return false;
        d->plugged = false;
        save(*d);
        detachLocked(serial);
    }
    publish();
    return true;
}

bool SimDeviceHub::replug(const QString& serial, QString* error) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        SimVirtualDevice* d = findLocked(serial, error);
        if (!d)
            return false;
        if (!d->plugged && locationTakenLocked(d->location, serial))
            return setError(error, QStringLiteral("location %1 is taken").arg(locationText(d->location)));
        detachLocked(serial);
        d->plugged = true;
        save(*d);
    }
    publish();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (SimVirtualDevice* d = findLocked(serial, nullptr))
            attachLocked(*d);
    }
    publish();
    return true;
}

bool SimDeviceHub::recovery(const QString& serial, QString* error) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        SimVirtualDevice* d = findPluggedLocked(serial, error);
        if (!d)
            return false;
        if (d->recovery)
            return setError(error, QStringLiteral("device %1 is in recovery mode already").arg(serial));
    }
    restart(serial, true);
    return true;
}

std::optional<QString> SimDeviceHub::addHid(std::optional<quint32> location, QString* error) {
    QString serial;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (location && (*location == 0 || locationTakenLocked(*location, QString()))) {
            setError(error, QStringLiteral("location %1 is taken or invalid").arg(locationText(*location)));
            return std::nullopt;
        }
        SimVirtualDevice d;
        d.serial = freeSerialLocked();
        d.location = location.value_or(freeLocationLocked());
        d.seed = SimSessionContent::stableHash(d.serial);
        d.recovery = true;
        d.plugged = true;
        serial = d.serial;
        auto inserted = m_devices.emplace(serial, d);
        save(inserted.first->second);
        attachLocked(inserted.first->second);
    }
    publish();
    return serial;
}

bool SimDeviceHub::setBattery(const QString& serial, int level, QString* error) {
    if (!SimPlugOptions::validateBattery(level, error))
        return false;
    return editDevice(
        serial, [level](SimVirtualDevice& d) { d.battery = level; }, error);
}

bool SimDeviceHub::addFault(const QString& serial, const SimFault& fault, QString* error) {
    std::lock_guard<std::mutex> lock(m_mutex);
    SimVirtualDevice* d = findLocked(serial, error);
    if (!d)
        return false;
    d->faults.append(fault);
    return true;
}

bool SimDeviceHub::clearFaults(const QString& serial, QString* error) {
    std::lock_guard<std::mutex> lock(m_mutex);
    SimVirtualDevice* d = findLocked(serial, error);
    if (!d)
        return false;
    d->faults.clear();
    return true;
}

void SimDeviceHub::setLinkModel(const SimLinkModel& link) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_link = link;
}

SimLinkModel SimDeviceHub::linkModel() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_link;
}

QJsonArray SimDeviceHub::list() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    QJsonArray out;
    for (const auto& entry : m_devices)
        out.append(entry.second.summaryJson(isAttachedLocked(entry.first)));
    return out;
}

std::optional<QJsonArray> SimDeviceHub::sessions(const QString& serial, QString* error) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    const SimVirtualDevice* d = findLocked(serial, error);
    if (!d)
        return std::nullopt;
    QJsonArray out;
    for (int i = 0; i < d->sessions.size(); ++i) {
        const SimVirtualSession& s = d->sessions.at(i);
        const auto info = s.toInformation();
        out.append(QJsonObject{
            {QStringLiteral("index"), i},
            {QStringLiteral("start"), info->startTime.description()},
            {QStringLiteral("end"), info->endTime.description()},
            {QStringLiteral("start_seconds"), info->startTime.secondsSince1970()},
            {QStringLiteral("start_page"), qint64(s.startPage)},
            {QStringLiteral("end_page"), qint64(s.endPage)},
            {QStringLiteral("page_count"), qint64(s.pageCount)},
            {QStringLiteral("user"), qint64(s.userUID)},
            {QStringLiteral("application"), s.applicationUID},
            {QStringLiteral("firmware"), SimVirtualDevice::firmwareText(s.firmware)},
            {QStringLiteral("corrupted"), s.corrupted},
            {QStringLiteral("corruption_status"), s.corruptionStatus},
            {QStringLiteral("software_id"), info->sessionInformation.softwareId()},
            {QStringLiteral("protocol"), qint64(info->sessionInformation.protocolNumber())},
            {QStringLiteral("device_id"), info->sessionInformation.deviceId()},
            {QStringLiteral("crc"), QStringLiteral("%1").arg(s.crc, 8, 16, QLatin1Char('0'))},
        });
    }
    return out;
}

bool SimDeviceHub::dump(const QString& serial, int index, const std::function<bool(const QByteArray&)>& out,
                        QString* error) const {
    SimVirtualSession session;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const SimVirtualDevice* d = findLocked(serial, error);
        if (!d)
            return false;
        if (index < 0 || index >= d->sessions.size())
            return setError(error, QStringLiteral("device %1 has no session %2 (it has %3)")
                                       .arg(serial)
                                       .arg(index)
                                       .arg(d->sessions.size()));
        session = d->sessions.at(index);
    }
    // Generated outside the lock, a chunk at a time: a dump of any size holds a few pages only.
    QByteArray chunk;
    for (quint32 p = 0; p < session.pageCount; ++p) {
        chunk.append(SimSessionContent::page(session.seed, p));
        if (chunk.size() >= kDumpChunkPages * SimVirtualDevice::kPageSize || p + 1 == session.pageCount) {
            if (!out(chunk))
                return setError(error, QStringLiteral("the reader went away"));
            chunk.clear();
        }
    }
    return true;
}

std::optional<SimVirtualDevice> SimDeviceHub::device(const QString& serial) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    const SimVirtualDevice* d = findLocked(serial, nullptr);
    if (!d)
        return std::nullopt;
    return *d;
}

bool SimDeviceHub::editDevice(const QString& serial, const std::function<void(SimVirtualDevice&)>& edit,
                              QString* error) {
    std::lock_guard<std::mutex> lock(m_mutex);
    SimVirtualDevice* d = findLocked(serial, error);
    if (!d)
        return false;
    edit(*d);
    save(*d);
    return true;
}

bool SimDeviceHub::submit(const OrvaneRequest& request, const std::shared_ptr<SimReplySink>& sink) {
    std::shared_ptr<Attachment> attachment;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const auto& a : m_attached) {
            if (a->handle == request.handle)
                attachment = a;
        }
        if (!attachment)
            return false;
        SimVirtualDevice* d = findLocked(attachment->serial, nullptr);
        if (!d || (d->recovery && request.op != OrvaneOp::Flash))
            return false;
        if (consumeFault(*d, SimFault::Kind::Refuse,
                         [&](const SimFault& f) { return f.matches(request.op); }))
            return false;
        std::lock_guard<std::mutex> queue(attachment->mutex);
        if (attachment->stopping)
            return false;
        attachment->jobs.push_back({request, sink});
    }
    attachment->wake.notify_one();
    return true;
}

std::optional<SimFault> SimDeviceHub::consumeFault(SimVirtualDevice& device, SimFault::Kind kind,
                                                   const std::function<bool(const SimFault&)>& applies) {
    for (int i = 0; i < device.faults.size(); ++i) {
        SimFault& f = device.faults[i];
        if (f.kind != kind || !applies(f))
            continue;
        const SimFault fired = f;
        if (f.remaining > 0 && --f.remaining == 0)
            device.faults.removeAt(i);
        return fired;
    }
    return std::nullopt;
}

void SimDeviceHub::runWorker(const std::shared_ptr<Attachment>& attachment) {
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(attachment->mutex);
            attachment->wake.wait(lock, [&] { return attachment->stopping || !attachment->jobs.empty(); });
            if (attachment->stopping)
                break;
            job = std::move(attachment->jobs.front());
            attachment->jobs.pop_front();
        }
        process(*attachment, job);
    }
    attachment->finished.store(true);
}

void SimDeviceHub::deliver(Attachment& attachment, const Job& job, const OrvaneAnswer& answer) {
    std::lock_guard<std::mutex> lock(attachment.deliveryMutex);
    if (attachment.alive && job.sink)
        job.sink->deliverAnswer(answer);
}

void SimDeviceHub::process(Attachment& attachment, const Job& job) {
    const OrvaneRequest& r = job.request;
    OrvaneAnswer answer;
    answer.id = r.id;
    answer.status = OrvaneStatus::Success;
    After after = After::Nothing;
    SimLinkModel link;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        link = m_link;
        SimVirtualDevice* d = findLocked(attachment.serial, nullptr);
        if (!d)
            return;
        if (consumeFault(*d, SimFault::Kind::NoAnswer, [&](const SimFault& f) { return f.matches(r.op); }))
            return; // taken, and lost: the caller waits for nothing
        after = answerLocked(*d, r, answer);
    }
    if (r.op == OrvaneOp::Flash) {
        processFlash(attachment, job, link);
        return;
    }
    if (!attachment.waitFor(link.requestUs(kRequestOverheadBytes + r.blob.size() + answer.payload.size())))
        return;
    deliver(attachment, job, answer);
    if (after == After::Restart)
        restart(attachment.serial, false);
    else if (after == After::Unplug)
        unplug(attachment.serial, nullptr);
}

SimDeviceHub::After SimDeviceHub::answerLocked(SimVirtualDevice& d, const OrvaneRequest& r,
                                               OrvaneAnswer& answer) {
    switch (r.op) {
    case OrvaneOp::Battery:
        return answerBattery(d, answer);
    case OrvaneOp::Page:
        return answerPage(d, r.arg1, answer);
    case OrvaneOp::SessionList:
        return answerSessionList(d, r, answer);
    case OrvaneOp::Erase:
        d.sessions.clear();
        save(d);
        return After::Nothing;
    case OrvaneOp::Identify:
        ++d.identifyCount;
        save(d);
        return After::Nothing;
    case OrvaneOp::Reset:
        d.sessions.clear();
        d.defaultUser = SimVirtualDevice::kNoUser;
        save(d);
        return After::Restart;
    case OrvaneOp::SetRTC:
        d.setClock(r.arg1);
        save(d);
        return After::Nothing;
    case OrvaneOp::SetDefaultUser:
        return answerSetDefaultUser(d, r.arg1, answer);
    case OrvaneOp::GetDefaultUser:
        answer.payload = OrvaneWire::encodeUserId(d.defaultUser);
        return After::Nothing;
    case OrvaneOp::Flash: // served by processFlash, outside the lock
        return After::Nothing;
    }
    return After::Nothing;
}

SimDeviceHub::After SimDeviceHub::answerBattery(SimVirtualDevice& d, OrvaneAnswer& answer) {
    if (consumeFault(d, SimFault::Kind::FailBattery, [](const SimFault&) { return true; }))
        answer.status = OrvaneStatus::BatteryGaugeError;
    else
        answer.payload = OrvaneWire::encodeBattery(d.battery);
    return After::Nothing;
}

SimDeviceHub::After SimDeviceHub::answerPage(SimVirtualDevice& d, quint64 address, OrvaneAnswer& answer) {
    auto samePage = [address](const SimFault& f) { return f.page == address; };
    std::optional<QByteArray> page =
        address <= 0xFFFFFFFFull ? d.readPage(static_cast<quint32>(address)) : std::nullopt;
    if (!page) {
        answer.status = OrvaneStatus::PageOutOfRange;
    } else if (consumeFault(d, SimFault::Kind::FailPage, samePage)) {
        answer.status = OrvaneStatus::ReadError;
    } else {
        if (const auto resize = consumeFault(d, SimFault::Kind::ResizePage, samePage))
            page->resize(resize->size, '\0');
        if (consumeFault(d, SimFault::Kind::CorruptPage, samePage)) {
            for (int i = 0; i < page->size(); i += 7)
                (*page)[i] = static_cast<char>(~static_cast<quint8>(page->at(i)));
        }
        answer.payload = *page;
    }
    for (int i = 0; i < d.faults.size(); ++i) {
        SimFault& f = d.faults[i];
        if (f.kind != SimFault::Kind::UnplugAfterPages)
            continue;
        if (f.pagesBeforeUnplug > 1) {
            --f.pagesBeforeUnplug;
            return After::Nothing;
        }
        d.faults.removeAt(i);
        return After::Unplug;
    }
    return After::Nothing;
}

SimDeviceHub::After SimDeviceHub::answerSessionList(const SimVirtualDevice& d, const OrvaneRequest& r,
                                                    OrvaneAnswer& answer) {
    OrvaneSessionList list;
    for (const SimVirtualSession& s : d.sessions) {
        if (s.start >= r.arg1 && s.start <= r.arg2)
            list.append(s.toInformation());
    }
    answer.payload = OrvaneSDSessionInformation::encodeList(list);
    return After::Nothing;
}

SimDeviceHub::After SimDeviceHub::answerSetDefaultUser(SimVirtualDevice& d, quint64 user,
                                                       OrvaneAnswer& answer) {
    if (user > 0xFFFFFFFFull) {
        answer.status = OrvaneStatus::InvalidArgument;
        return After::Nothing;
    }
    d.defaultUser = static_cast<quint32>(user);
    save(d);
    return After::Nothing;
}

void SimDeviceHub::processFlash(Attachment& attachment, const Job& job, const SimLinkModel& link) {
    const OrvaneRequest& r = job.request;
    OrvaneAnswer answer;
    answer.id = r.id;
    const std::optional<SimFirmwareImage> image = SimFirmwareImage::parse(r.blob);
    if (!image) {
        if (!attachment.waitFor(link.requestUs(kRequestOverheadBytes + r.blob.size())))
            return;
        answer.status = OrvaneStatus::InvalidFirmwareImage;
        deliver(attachment, job, answer);
        return;
    }
    std::optional<SimFault> failure;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (SimVirtualDevice* d = findLocked(attachment.serial, nullptr))
            failure = consumeFault(*d, SimFault::Kind::FailFirmware, [](const SimFault&) { return true; });
    }
    const qsizetype size = r.blob.size();
    const int blocks =
        static_cast<int>(std::max<qsizetype>(1, (size + kFlashBlockSize - 1) / kFlashBlockSize));
    for (int b = 1; b <= blocks; ++b) {
        if (!attachment.waitFor(link.requestUs(kFlashBlockSize) + link.flashBlockUs))
            return;
        const double level = 100.0 * b / blocks;
        if (failure && level >= failure->percent) {
            answer.status = OrvaneStatus::FirmwareWriteError;
            deliver(attachment, job, answer);
            return;
        }
        std::lock_guard<std::mutex> lock(attachment.deliveryMutex);
        if (!attachment.alive)
            return;
        job.sink->deliverProgress(r.id, level);
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        SimVirtualDevice* d = findLocked(attachment.serial, nullptr);
        if (!d)
            return;
        d->fwRevision = image->version();
        save(*d);
    }
    answer.status = OrvaneStatus::Success;
    deliver(attachment, job, answer);
    // The new firmware starts in data mode, at the same location.
    restart(attachment.serial, false);
}

void SimDeviceHub::restart(const QString& serial, bool intoRecovery) {
    qint64 delay = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        SimVirtualDevice* d = findLocked(serial, nullptr);
        if (!d)
            return;
        d->recovery = intoRecovery;
        save(*d);
        detachLocked(serial);
        delay = m_link.restartDelayMs;
    }
    publish();
    attachLater(serial, delay);
}

void SimDeviceHub::attachLater(const QString& serial, qint64 delayMs) {
    {
        std::lock_guard<std::mutex> lock(m_timerMutex);
        if (m_timersStopping)
            return;
        m_timers.emplace(std::chrono::steady_clock::now() + std::chrono::milliseconds(delayMs),
                         [this, serial] {
                             {
                                 std::lock_guard<std::mutex> lock(m_mutex);
                                 SimVirtualDevice* d = findLocked(serial, nullptr);
                                 // Unplugged while it restarted: it stays away.
                                 if (!d || !d->plugged)
                                     return;
                                 attachLocked(*d);
                             }
                             publish();
                         });
    }
    m_timerWake.notify_all();
}

void SimDeviceHub::runTimers() {
    std::unique_lock<std::mutex> lock(m_timerMutex);
    while (!m_timersStopping) {
        if (m_timers.empty()) {
            m_timerWake.wait(lock);
            continue;
        }
        const auto due = m_timers.begin()->first;
        if (std::chrono::steady_clock::now() < due) {
            m_timerWake.wait_until(lock, due);
            continue;
        }
        std::function<void()> job = std::move(m_timers.begin()->second);
        m_timers.erase(m_timers.begin());
        lock.unlock();
        job();
        lock.lock();
    }
}
