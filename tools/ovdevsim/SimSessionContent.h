#pragma once

#include <QByteArray>
#include <QString>

/**
 * The recorded data of emulated sessions, generated from a seed: any page can be made on its own,
 * so a device of any size holds no page in memory, and a test recomputes the bytes it expects.
 */
class SimSessionContent {
public:
    static constexpr int kPageSize = 512;

    /** Page index (0 = the session's first page) of the session with this seed. */
    static QByteArray page(quint64 seed, quint32 index);
    /** CRC-32 of the session's pageCount pages, as the device records it. */
    static quint32 crc(quint64 seed, quint32 pageCount);
    /** The seed of a device's sessionNumber-th session. */
    static quint64 sessionSeed(quint64 deviceSeed, quint32 sessionNumber);
    /** A stable 64-bit hash of a text (FNV-1a), for seeds derived from a serial. */
    static quint64 stableHash(const QString& text);
};
