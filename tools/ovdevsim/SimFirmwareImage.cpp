#include "SimFirmwareImage.h"

#include "OrvaneSessionVerification.h"
#include "OrvaneWire.h"

namespace {
const char kMagic[] = "OVFW";

void fail(QString* error, const QString& text) {
    if (error)
        *error = text;
}
} // namespace

QString SimFirmwareImage::version() const {
    return QStringLiteral("%1.%2.%3").arg(major).arg(minor).arg(patch);
}

QByteArray SimFirmwareImage::build() const {
    OrvaneWire::Writer w;
    w.raw(QByteArray(kMagic, 4));
    w.u16(kFormatVersion);
    w.u8(major);
    w.u8(minor);
    w.u8(patch);
    w.raw(QByteArray(3, '\0'));
    w.u32(static_cast<quint32>(payload.size()));
    w.raw(payload);
    const quint32 crc =
        OrvaneSessionVerification::crc32Update(OrvaneSessionVerification::crc32Initial(), w.bytes());
    w.u32(crc);
    return w.take();
}

SimFirmwareImage SimFirmwareImage::generate(quint8 major, quint8 minor, quint8 patch, int payloadSize) {
    SimFirmwareImage image;
    image.major = major;
    image.minor = minor;
    image.patch = patch;
    image.payload.resize(payloadSize);
    // A linear congruential sequence seeded by the version: reproducible, and not compressible to
    // nothing, so a transfer of it takes the time a real image would.
    quint32 state = 0x4F564657u ^ (quint32(major) << 16) ^ (quint32(minor) << 8) ^ patch;
    for (int i = 0; i < payloadSize; ++i) {
        state = state * 1664525u + 1013904223u;
        image.payload[i] = static_cast<char>(state >> 24);
    }
    return image;
}

std::optional<SimFirmwareImage> SimFirmwareImage::parse(const QByteArray& bytes, QString* error) {
    if (bytes.size() < kHeaderSize + 1 + 4) {
        fail(error, QStringLiteral("image too short (%1 bytes)").arg(bytes.size()));
        return std::nullopt;
    }
    if (bytes.left(4) != QByteArray(kMagic, 4)) {
        fail(error, QStringLiteral("not a firmware image (bad magic)"));
        return std::nullopt;
    }
    OrvaneWire::Reader r(bytes, 4);
    quint16 format = 0;
    SimFirmwareImage image;
    quint8 reserved[3] = {0, 0, 0};
    quint32 length = 0;
    r.u16(format);
    r.u8(image.major);
    r.u8(image.minor);
    r.u8(image.patch);
    r.u8(reserved[0]);
    r.u8(reserved[1]);
    r.u8(reserved[2]);
    r.u32(length);
    if (format != kFormatVersion) {
        fail(error, QStringLiteral("unknown image format %1").arg(format));
        return std::nullopt;
    }
    if (length == 0 || qint64(length) + kHeaderSize + 4 != bytes.size()) {
        fail(error, QStringLiteral("payload length %1 does not match the file size %2")
                        .arg(length)
                        .arg(bytes.size()));
        return std::nullopt;
    }
    r.raw(image.payload, length);
    quint32 stored = 0;
    r.u32(stored);
    const quint32 computed = OrvaneSessionVerification::crc32Update(OrvaneSessionVerification::crc32Initial(),
                                                                    bytes.left(kHeaderSize + length));
    if (!r.atEnd() || stored != computed) {
        fail(error, QStringLiteral("checksum mismatch"));
        return std::nullopt;
    }
    return image;
}
