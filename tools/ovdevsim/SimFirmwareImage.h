#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

/**
 * The firmware image file (".hff"), little endian:
 *   0   4  magic "OVFW"
 *   4   2  format version, 1
 *   6   3  firmware version: major, minor, patch
 *   9   3  reserved, zero
 *   12  4  payload length N (at least 1)
 *   16  N  payload
 *   16+N 4 CRC-32 (zlib's) of every byte before it
 */
class SimFirmwareImage {
public:
    static constexpr int kHeaderSize = 16;
    static constexpr quint16 kFormatVersion = 1;

    quint8 major = 0;
    quint8 minor = 0;
    quint8 patch = 0;
    QByteArray payload;

    /** "%d.%d.%d". */
    QString version() const;
    /** The file bytes. */
    QByteArray build() const;
    /** An image of this version with a deterministic payload of payloadSize bytes. */
    static SimFirmwareImage generate(quint8 major, quint8 minor, quint8 patch, int payloadSize);
    /** The image in bytes, or nothing with *error saying what is wrong. */
    static std::optional<SimFirmwareImage> parse(const QByteArray& bytes, QString* error = nullptr);
};
