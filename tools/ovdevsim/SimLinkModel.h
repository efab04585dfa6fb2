#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

/**
 * The time a request takes between the computer and an emulated device: a fixed latency per
 * request plus the bytes moved at the link's bandwidth. The default is close to a full-speed USB
 * link; the zero-delay link answers as fast as the emulator can, for tests.
 */
struct SimLinkModel {
    /** Per request, in microseconds. */
    qint64 latencyUs = 250;
    /** Bytes per second both ways; 0 means no transfer time. */
    qint64 bandwidth = 1000000;
    /** How long a restarting device stays away, in milliseconds. */
    qint64 restartDelayMs = 500;
    /** Time to program one 4 KiB firmware block, in microseconds. */
    qint64 flashBlockUs = 2000;

    static SimLinkModel fullSpeed() { return SimLinkModel(); }
    static SimLinkModel zeroDelay() { return SimLinkModel{0, 0, 0, 0}; }

    /** Microseconds a request moving this many bytes takes, latency included. */
    qint64 requestUs(qint64 bytes) const {
        return latencyUs + (bandwidth > 0 ? bytes * 1000000 / bandwidth : 0);
    }

    QJsonObject toJson() const;
    /** Applies the keys present in json ("preset", "latency_us", "bandwidth", "restart_ms",
     * "flash_block_us"). */
    static std::optional<SimLinkModel> fromJson(const QJsonObject& json, const SimLinkModel& base,
                                                QString* error);
};
