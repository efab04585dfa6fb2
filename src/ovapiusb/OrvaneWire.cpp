#include "OrvaneWire.h"

#include <QtEndian>

#include <cstring>

void OrvaneWire::Writer::u16(quint16 v) {
    char b[2];
    qToLittleEndian(v, b);
    m_bytes.append(b, 2);
}

void OrvaneWire::Writer::u32(quint32 v) {
    char b[4];
    qToLittleEndian(v, b);
    m_bytes.append(b, 4);
}

void OrvaneWire::Writer::u64(quint64 v) {
    char b[8];
    qToLittleEndian(v, b);
    m_bytes.append(b, 8);
}

void OrvaneWire::Writer::f64(double v) {
    quint64 bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    u64(bits);
}

void OrvaneWire::Writer::text(const QString& v) {
    QByteArray utf8 = v.toUtf8();
    if (utf8.size() > 0xFFFF)
        utf8.truncate(0xFFFF);
    u16(static_cast<quint16>(utf8.size()));
    m_bytes.append(utf8);
}

void OrvaneWire::Writer::blob(const QByteArray& v) {
    u32(static_cast<quint32>(v.size()));
    m_bytes.append(v);
}

bool OrvaneWire::Reader::take(void* out, qsizetype size) {
    if (!m_ok || size < 0 || m_bytes.size() - m_pos < size) {
        m_ok = false;
        return false;
    }
    std::memcpy(out, m_bytes.constData() + m_pos, static_cast<size_t>(size));
    m_pos += size;
    return true;
}

bool OrvaneWire::Reader::u8(quint8& v) {
    return take(&v, 1);
}

bool OrvaneWire::Reader::u16(quint16& v) {
    uchar b[2];
    if (!take(b, 2))
        return false;
    v = qFromLittleEndian<quint16>(b);
    return true;
}

bool OrvaneWire::Reader::u32(quint32& v) {
    uchar b[4];
    if (!take(b, 4))
        return false;
    v = qFromLittleEndian<quint32>(b);
    return true;
}

bool OrvaneWire::Reader::i32(qint32& v) {
    quint32 u = 0;
    if (!u32(u))
        return false;
    v = static_cast<qint32>(u);
    return true;
}

bool OrvaneWire::Reader::u64(quint64& v) {
    uchar b[8];
    if (!take(b, 8))
        return false;
    v = qFromLittleEndian<quint64>(b);
    return true;
}

bool OrvaneWire::Reader::f64(double& v) {
    quint64 bits = 0;
    if (!u64(bits))
        return false;
    std::memcpy(&v, &bits, sizeof v);
    return true;
}

bool OrvaneWire::Reader::text(QString& v) {
    quint16 size = 0;
    QByteArray bytes;
    if (!u16(size) || !raw(bytes, size))
        return false;
    v = QString::fromUtf8(bytes);
    return true;
}

bool OrvaneWire::Reader::blob(QByteArray& v, quint32 maxSize) {
    quint32 size = 0;
    if (!u32(size))
        return false;
    if (size > maxSize) {
        m_ok = false;
        return false;
    }
    return raw(v, size);
}

bool OrvaneWire::Reader::raw(QByteArray& v, qsizetype size) {
    if (!m_ok || size < 0 || m_bytes.size() - m_pos < size) {
        m_ok = false;
        return false;
    }
    v = m_bytes.mid(m_pos, size);
    m_pos += size;
    return true;
}

QByteArray OrvaneWire::frame(Frame type, const QByteArray& body) {
    Writer w;
    w.u32(static_cast<quint32>(body.size() + 1));
    w.u8(static_cast<quint8>(type));
    w.raw(body);
    return w.take();
}

QByteArray OrvaneWire::encodeRequest(const OrvaneRequest& request) {
    Writer w;
    w.u64(request.id);
    w.u32(request.handle);
    w.u8(static_cast<quint8>(request.op));
    w.u64(request.arg1);
    w.u64(request.arg2);
    w.blob(request.blob);
    return w.take();
}

std::optional<OrvaneRequest> OrvaneWire::decodeRequest(const QByteArray& body) {
    Reader r(body);
    OrvaneRequest request;
    quint8 op = 0;
    r.u64(request.id);
    r.u32(request.handle);
    r.u8(op);
    r.u64(request.arg1);
    r.u64(request.arg2);
    r.blob(request.blob, kMaxFirmwareSize);
    if (!r.atEnd() || op < static_cast<quint8>(OrvaneOp::Battery) ||
        op > static_cast<quint8>(OrvaneOp::Flash))
        return std::nullopt;
    request.op = static_cast<OrvaneOp>(op);
    return request;
}

QByteArray OrvaneWire::encodeAnswer(const OrvaneAnswer& answer) {
    Writer w;
    w.u64(answer.id);
    w.i32(answer.status);
    w.blob(answer.payload);
    return w.take();
}

std::optional<OrvaneAnswer> OrvaneWire::decodeAnswer(const QByteArray& body) {
    Reader r(body);
    OrvaneAnswer answer;
    r.u64(answer.id);
    r.i32(answer.status);
    r.blob(answer.payload, kMaxFrameSize);
    if (!r.atEnd())
        return std::nullopt;
    return answer;
}

QByteArray OrvaneWire::encodeDevices(const QList<OrvaneDeviceDescriptor>& devices) {
    Writer w;
    w.u32(static_cast<quint32>(devices.size()));
    for (const OrvaneDeviceDescriptor& d : devices) {
        w.u32(d.handle);
        w.u32(d.locationID);
        w.u8(d.recovery ? 1 : 0);
        w.text(d.serial);
        w.text(d.model);
        w.text(d.hwRevision);
        w.text(d.fwRevision);
    }
    return w.take();
}

std::optional<QList<OrvaneDeviceDescriptor>> OrvaneWire::decodeDevices(const QByteArray& body) {
    Reader r(body);
    quint32 count = 0;
    if (!r.u32(count) || count > 4096)
        return std::nullopt;
    QList<OrvaneDeviceDescriptor> devices;
    for (quint32 i = 0; i < count; ++i) {
        OrvaneDeviceDescriptor d;
        quint8 recovery = 0;
        r.u32(d.handle);
        r.u32(d.locationID);
        r.u8(recovery);
        r.text(d.serial);
        r.text(d.model);
        r.text(d.hwRevision);
        r.text(d.fwRevision);
        if (!r.ok())
            return std::nullopt;
        d.recovery = recovery != 0;
        devices.append(d);
    }
    if (!r.atEnd())
        return std::nullopt;
    return devices;
}

QByteArray OrvaneWire::encodeBattery(qint32 level) {
    Writer w;
    w.i32(level);
    return w.take();
}

std::optional<qint32> OrvaneWire::decodeBattery(const QByteArray& payload) {
    Reader r(payload);
    qint32 level = 0;
    if (!r.i32(level) || !r.atEnd())
        return std::nullopt;
    return level;
}

QByteArray OrvaneWire::encodeUserId(quint32 userId) {
    Writer w;
    w.u32(userId);
    return w.take();
}

std::optional<quint32> OrvaneWire::decodeUserId(const QByteArray& payload) {
    Reader r(payload);
    quint32 userId = 0;
    if (!r.u32(userId) || !r.atEnd())
        return std::nullopt;
    return userId;
}
