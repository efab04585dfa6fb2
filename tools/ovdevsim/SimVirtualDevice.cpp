#include "SimVirtualDevice.h"

#include "OVDate.h"
#include "OrvaneDate.h"
#include "OrvaneWire.h"
#include "SimSessionContent.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QStringList>
#include <QtEndian>

namespace {
QString hex64(quint64 v) {
    return QString::number(v, 16);
}

quint64 fromHex64(const QJsonValue& v) {
    return v.toString().toULongLong(nullptr, 16);
}

qint64 hostNowDeviceTime() {
    return static_cast<qint64>(orvaneTime(OVDate::now()));
}
} // namespace

std::shared_ptr<const OrvaneSDSessionInformation> SimVirtualSession::toInformation() const {
    auto info = std::make_shared<OrvaneSDSessionInformation>();
    info->isCorrupted = corrupted;
    info->corruptionStatus = corruptionStatus;
    info->startPageAddress = startPage;
    info->endPageAddress = endPage;
    info->pageCount = pageCount;
    info->startTime = dateWithOrvaneTime(start);
    info->endTime = dateWithOrvaneTime(end);
    info->sessionInformation.userUID = userUID;
    info->sessionInformation.applicationUID = applicationUID;
    info->sessionInformation.firmware = firmware;
    info->sessionInformation.structure = structure;
    info->dataCRC = crc;
    return info;
}

QJsonObject SimVirtualSession::toJson() const {
    return QJsonObject{
        {QStringLiteral("start"), hex64(start)},
        {QStringLiteral("end"), hex64(end)},
        {QStringLiteral("start_page"), qint64(startPage)},
        {QStringLiteral("end_page"), qint64(endPage)},
        {QStringLiteral("page_count"), qint64(pageCount)},
        {QStringLiteral("user"), qint64(userUID)},
        {QStringLiteral("application"), applicationUID},
        {QStringLiteral("firmware"), qint64(firmware)},
        {QStringLiteral("corrupted"), corrupted},
        {QStringLiteral("corruption_status"), corruptionStatus},
        {QStringLiteral("structure"), QString::fromLatin1(structure.toHex())},
        {QStringLiteral("seed"), hex64(seed)},
        {QStringLiteral("crc"), qint64(crc)},
    };
}

std::optional<SimVirtualSession> SimVirtualSession::fromJson(const QJsonObject& json) {
    SimVirtualSession s;
    s.start = fromHex64(json.value(QStringLiteral("start")));
    s.end = fromHex64(json.value(QStringLiteral("end")));
    s.startPage = static_cast<quint32>(json.value(QStringLiteral("start_page")).toDouble());
    s.endPage = static_cast<quint32>(json.value(QStringLiteral("end_page")).toDouble());
    s.pageCount = static_cast<quint32>(json.value(QStringLiteral("page_count")).toDouble());
    s.userUID = static_cast<quint32>(json.value(QStringLiteral("user")).toDouble());
    s.applicationUID = json.value(QStringLiteral("application")).toString();
    s.firmware = static_cast<quint32>(json.value(QStringLiteral("firmware")).toDouble());
    s.corrupted = json.value(QStringLiteral("corrupted")).toBool();
    s.corruptionStatus = json.value(QStringLiteral("corruption_status")).toInt();
    s.structure = QByteArray::fromHex(json.value(QStringLiteral("structure")).toString().toLatin1());
    s.seed = fromHex64(json.value(QStringLiteral("seed")));
    s.crc = static_cast<quint32>(json.value(QStringLiteral("crc")).toDouble());
    if (s.structure.size() != OrvaneSDSessionInformation::SessionInformation::kStructureSize)
        return std::nullopt;
    if (s.pageCount > 0 && s.endPage != s.startPage + s.pageCount - 1)
        return std::nullopt;
    return s;
}

SimVirtualSession& SimVirtualDevice::addSession(quint32 pageCount, quint32 userUID, quint64 start,
                                                const QString& applicationUID) {
    SimVirtualSession s;
    const quint32 number = sessionsRecorded++;
    s.start = start;
    // A page holds about two seconds of recording.
    s.end = start + quint64(pageCount) * 2 * 256;
    s.startPage = nextFreePage();
    s.pageCount = pageCount;
    s.endPage = pageCount > 0 ? s.startPage + pageCount - 1 : s.startPage;
    s.userUID = userUID;
    s.applicationUID = applicationUID;
    s.firmware = firmwareFromText(fwRevision).value_or(0);
    s.seed = SimSessionContent::sessionSeed(seed, number);
    s.crc = SimSessionContent::crc(s.seed, pageCount);

    // The information block: version, session number, software id, protocol, user, device id, pages.
    OrvaneWire::Writer w;
    w.u16(1);
    w.u16(0);
    w.u32(number);
    const QString softwareId = QStringLiteral("OVR-%1%2%3")
                                   .arg(s.firmware & 0xFF, 2, 10, QLatin1Char('0'))
                                   .arg((s.firmware >> 8) & 0xFF, 2, 10, QLatin1Char('0'))
                                   .arg((s.firmware >> 16) & 0xFF, 2, 10, QLatin1Char('0'));
    w.raw(softwareId.toLatin1().left(10));
    w.u16(0);
    w.u32(kProtocolNumber);
    w.u32(userUID);
    w.raw(QCryptographicHash::hash(serial.toUtf8(), QCryptographicHash::Md5).toHex());
    w.u32(pageCount);
    s.structure = w.take();
    sessions.append(s);
    return sessions.last();
}

quint32 SimVirtualDevice::nextFreePage() const {
    quint32 next = kFirstSessionPage;
    for (const SimVirtualSession& s : sessions)
        next = qMax(next, s.endPage + 1);
    return next;
}

std::optional<QByteArray> SimVirtualDevice::readPage(quint32 address) const {
    if (address >= flashPages)
        return std::nullopt;
    for (const SimVirtualSession& s : sessions) {
        if (s.holdsPage(address))
            return SimSessionContent::page(s.seed, address - s.startPage);
    }
    return QByteArray(kPageSize, '\xFF');
}

quint64 SimVirtualDevice::clock() const {
    return static_cast<quint64>(qMax<qint64>(0, hostNowDeviceTime() + clockOffset));
}

void SimVirtualDevice::setClock(quint64 deviceTime) {
    clockOffset = static_cast<qint64>(deviceTime) - hostNowDeviceTime();
}

OrvaneDeviceDescriptor SimVirtualDevice::descriptor(quint32 handle) const {
    OrvaneDeviceDescriptor d;
    d.handle = handle;
    d.locationID = location;
    d.recovery = recovery;
    d.serial = recovery ? QString() : serial;
    d.model = model;
    d.hwRevision = hwRevision;
    d.fwRevision = fwRevision;
    return d;
}

std::optional<quint32> SimVirtualDevice::firmwareFromText(const QString& text) {
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 3)
        return std::nullopt;
    quint32 firmware = 0;
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        const uint v = parts[i].toUInt(&ok);
        if (!ok || v > 255)
            return std::nullopt;
        firmware |= v << (8 * i);
    }
    return firmware;
}

QString SimVirtualDevice::firmwareText(quint32 firmware) {
    return QStringLiteral("%1.%2.%3")
        .arg(firmware & 0xFF)
        .arg((firmware >> 8) & 0xFF)
        .arg((firmware >> 16) & 0xFF);
}

QJsonObject SimVirtualDevice::toJson() const {
    QJsonArray sessionArray;
    for (const SimVirtualSession& s : sessions)
        sessionArray.append(s.toJson());
    return QJsonObject{
        {QStringLiteral("serial"), serial},
        {QStringLiteral("model"), model},
        {QStringLiteral("hw_revision"), hwRevision},
        {QStringLiteral("fw_revision"), fwRevision},
        {QStringLiteral("battery"), battery},
        {QStringLiteral("clock_offset"), QString::number(clockOffset)},
        {QStringLiteral("default_user"), qint64(defaultUser)},
        {QStringLiteral("location"), qint64(location)},
        {QStringLiteral("mode"), recovery ? QStringLiteral("recovery") : QStringLiteral("data")},
        {QStringLiteral("plugged"), plugged},
        {QStringLiteral("identify_count"), qint64(identifyCount)},
        {QStringLiteral("flash_pages"), qint64(flashPages)},
        {QStringLiteral("seed"), hex64(seed)},
        {QStringLiteral("sessions_recorded"), qint64(sessionsRecorded)},
        {QStringLiteral("sessions"), sessionArray},
    };
}

std::optional<SimVirtualDevice> SimVirtualDevice::fromJson(const QJsonObject& json, QString* error) {
    SimVirtualDevice d;
    d.serial = json.value(QStringLiteral("serial")).toString();
    if (d.serial.isEmpty()) {
        if (error)
            *error = QStringLiteral("no serial");
        return std::nullopt;
    }
    d.model = json.value(QStringLiteral("model")).toString(d.model);
    d.hwRevision = json.value(QStringLiteral("hw_revision")).toString(d.hwRevision);
    d.fwRevision = json.value(QStringLiteral("fw_revision")).toString(d.fwRevision);
    d.battery = json.value(QStringLiteral("battery")).toInt(d.battery);
    d.clockOffset = json.value(QStringLiteral("clock_offset")).toString().toLongLong();
    d.defaultUser = static_cast<quint32>(json.value(QStringLiteral("default_user")).toDouble(kNoUser));
    d.location = static_cast<quint32>(json.value(QStringLiteral("location")).toDouble());
    d.recovery = json.value(QStringLiteral("mode")).toString() == QLatin1String("recovery");
    d.plugged = json.value(QStringLiteral("plugged")).toBool();
    d.identifyCount = static_cast<quint32>(json.value(QStringLiteral("identify_count")).toDouble());
    d.flashPages =
        static_cast<quint32>(json.value(QStringLiteral("flash_pages")).toDouble(kDefaultFlashPages));
    d.seed = fromHex64(json.value(QStringLiteral("seed")));
    d.sessionsRecorded = static_cast<quint32>(json.value(QStringLiteral("sessions_recorded")).toDouble());
    for (const QJsonValue& v : json.value(QStringLiteral("sessions")).toArray()) {
        std::optional<SimVirtualSession> s = SimVirtualSession::fromJson(v.toObject());
        if (!s) {
            if (error)
                *error = QStringLiteral("a session record of %1 is malformed").arg(d.serial);
            return std::nullopt;
        }
        d.sessions.append(*s);
    }
    return d;
}

QJsonObject SimVirtualDevice::summaryJson(bool attached) const {
    QJsonArray faultArray;
    for (const SimFault& f : faults)
        faultArray.append(f.toJson());
    return QJsonObject{
        {QStringLiteral("serial"), serial},
        {QStringLiteral("mode"), recovery ? QStringLiteral("recovery") : QStringLiteral("data")},
        {QStringLiteral("location"), QStringLiteral("0x%1")
                                         .arg(location, 0, 16)
                                         .toUpper()
                                         .replace(QStringLiteral("0X"), QStringLiteral("0x"))},
        {QStringLiteral("attached"), attached},
        {QStringLiteral("plugged"), plugged},
        {QStringLiteral("model"), model},
        {QStringLiteral("hw_revision"), hwRevision},
        {QStringLiteral("fw_revision"), fwRevision},
        {QStringLiteral("battery"), battery},
        {QStringLiteral("default_user"), qint64(defaultUser)},
        {QStringLiteral("clock"), dateWithOrvaneTime(clock()).description()},
        {QStringLiteral("identify_count"), qint64(identifyCount)},
        {QStringLiteral("sessions"), sessions.size()},
        {QStringLiteral("faults"), faultArray},
    };
}
