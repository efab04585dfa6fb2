#include "OrvaneSDSessionInformation.h"

#include "OVLogFormat.h"
#include "OrvaneDate.h"
#include "OrvaneWire.h"

#include <QtEndian>

namespace {
// A session list holds at most this many records: far more than any device's table, and a bound
// against a corrupted count making the reader allocate without end.
constexpr quint32 kMaxSessionsInList = 65536;
constexpr int kSoftwareIdOffset = 8;
constexpr int kSoftwareIdSize = 10;
constexpr int kProtocolOffset = 20;
constexpr int kDeviceIdOffset = 28;
constexpr int kDeviceIdSize = 32;

// A text field shorter than its slot is padded with NULs: they are not part of the text.
QString paddedText(const QByteArray& structure, int offset, int size) {
    const QByteArray field = structure.mid(offset, size);
    const qsizetype end = field.indexOf('\0');
    return QString::fromUtf8(end < 0 ? field : field.left(end));
}
} // namespace

QString OrvaneSDSessionInformation::SessionInformation::softwareId() const {
    return paddedText(structure, kSoftwareIdOffset, kSoftwareIdSize);
}

quint32 OrvaneSDSessionInformation::SessionInformation::protocolNumber() const {
    if (structure.size() < kProtocolOffset + 4)
        return 0;
    return qFromLittleEndian<quint32>(structure.constData() + kProtocolOffset);
}

QString OrvaneSDSessionInformation::SessionInformation::deviceId() const {
    return paddedText(structure, kDeviceIdOffset, kDeviceIdSize);
}

QString OrvaneSDSessionInformation::description() const {
    return OVLogFormat::format("start:%@, end:%@, pages:%@-%@ (%@), user:%@, corrupted:%@", startTime,
                               endTime, startPageAddress, endPageAddress, pageCount,
                               sessionInformation.userUID, isCorrupted ? corruptionStatus : 0);
}

QByteArray OrvaneSDSessionInformation::encode() const {
    OrvaneWire::Writer w;
    w.u8(isCorrupted ? 1 : 0);
    w.i32(corruptionStatus);
    w.u32(startPageAddress);
    w.u32(endPageAddress);
    w.u32(pageCount);
    w.u64(orvaneTime(startTime));
    w.u64(orvaneTime(endTime));
    w.u32(sessionInformation.userUID);
    w.text(sessionInformation.applicationUID);
    w.u32(sessionInformation.firmware);
    QByteArray structure = sessionInformation.structure.left(SessionInformation::kStructureSize);
    structure.append(QByteArray(SessionInformation::kStructureSize - structure.size(), '\0'));
    w.raw(structure);
    w.u32(dataCRC);
    return w.take();
}

QByteArray OrvaneSDSessionInformation::encodeList(const OrvaneSessionList& sessions) {
    OrvaneWire::Writer w;
    w.u32(static_cast<quint32>(sessions.size()));
    for (const auto& s : sessions)
        w.raw(s->encode());
    return w.take();
}

std::optional<OrvaneSessionList> OrvaneSDSessionInformation::decodeList(const QByteArray& payload) {
    OrvaneWire::Reader r(payload);
    quint32 count = 0;
    if (!r.u32(count) || count > kMaxSessionsInList)
        return std::nullopt;
    OrvaneSessionList list;
    for (quint32 i = 0; i < count; ++i) {
        auto s = std::make_shared<OrvaneSDSessionInformation>();
        quint8 corrupted = 0;
        quint64 start = 0;
        quint64 end = 0;
        r.u8(corrupted);
        r.i32(s->corruptionStatus);
        r.u32(s->startPageAddress);
        r.u32(s->endPageAddress);
        r.u32(s->pageCount);
        r.u64(start);
        r.u64(end);
        r.u32(s->sessionInformation.userUID);
        r.text(s->sessionInformation.applicationUID);
        r.u32(s->sessionInformation.firmware);
        r.raw(s->sessionInformation.structure, SessionInformation::kStructureSize);
        r.u32(s->dataCRC);
        if (!r.ok())
            return std::nullopt;
        s->isCorrupted = corrupted != 0;
        s->startTime = dateWithOrvaneTime(start);
        s->endTime = dateWithOrvaneTime(end);
        list.append(std::move(s));
    }
    if (!r.atEnd())
        return std::nullopt;
    return list;
}
