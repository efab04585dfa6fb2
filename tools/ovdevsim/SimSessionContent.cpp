#include "SimSessionContent.h"

#include "OrvaneSessionVerification.h"

#include <QtEndian>

namespace {
quint64 splitmix64(quint64& state) {
    state += 0x9E3779B97F4A7C15ull;
    quint64 z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}
} // namespace

QByteArray SimSessionContent::page(quint64 seed, quint32 index) {
    QByteArray out(kPageSize, Qt::Uninitialized);
    quint64 state = seed ^ (quint64(index) + 1) * 0xD1B54A32D192ED03ull;
    for (int offset = 0; offset < kPageSize; offset += 8)
        qToLittleEndian(splitmix64(state), out.data() + offset);
    // The page's index in its first bytes makes a dump readable by eye.
    qToLittleEndian(index, out.data());
    return out;
}

quint32 SimSessionContent::crc(quint64 seed, quint32 pageCount) {
    quint32 crc = OrvaneSessionVerification::crc32Initial();
    for (quint32 i = 0; i < pageCount; ++i)
        crc = OrvaneSessionVerification::crc32Update(crc, page(seed, i));
    return crc;
}

quint64 SimSessionContent::sessionSeed(quint64 deviceSeed, quint32 sessionNumber) {
    quint64 state = deviceSeed ^ (quint64(sessionNumber) << 32);
    return splitmix64(state);
}

quint64 SimSessionContent::stableHash(const QString& text) {
    quint64 hash = 0xCBF29CE484222325ull;
    for (const char c : text.toUtf8()) {
        hash ^= static_cast<quint8>(c);
        hash *= 0x100000001B3ull;
    }
    return hash;
}
