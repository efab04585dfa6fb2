#pragma once

#include <QJsonObject>
#include <QMap>
#include <QString>

#include <deque>
#include <functional>
#include <mutex>
#include <optional>

/**
 * Where each device's transfer stands: the step (listing, downloading session k of n, verifying,
 * uploading chunk k of n), bytes done of the total, the speed over the last 10 seconds, the time
 * left, and how long no byte has moved. Fed by the stall watchdog, read by `ovservices status` and
 * the tray tooltip. Thread-safe; the clock is injected so the arithmetic can be tested.
 */
class OVTransferProgress {
public:
    enum class Step { Listing, Downloading, Verifying, Uploading };
    /** Milliseconds on a monotonic clock. */
    using Clock = std::function<qint64()>;

    static constexpr qint64 kSpeedWindowMs = 10000;

    /** Where one device stands, as reported. */
    struct Position {
        Step step = Step::Listing;
        /** Session k of n (downloading, verifying) or chunk k of n (uploading); 0 when not known. */
        int index = 0;
        int count = 0;
        qint64 bytesDone = 0;
        qint64 bytesTotal = 0;
        /**
         * Bytes moved either way so far, whatever they were (a chunk sent again, an answer): what
         * progress, speed and stalls are judged on. bytesDone can stand still or go back while it rises.
         */
        qint64 bytesMoved = 0;
    };

    /** A position with what the progress table worked out from its history. */
    struct Snapshot {
        Position position;
        double bytesPerSecond = 0;
        /** -1 when it cannot be told (nothing moves). */
        qint64 secondsLeft = -1;
        /** Time since the bytes last moved or the step changed. */
        qint64 idleMs = 0;
        bool stalled = false;
    };

    explicit OVTransferProgress(Clock clock = steadyClock);

    /** Records where the device stands now; bytes moved or a new step count as progress. */
    void report(const QString& serial, const Position& position);
    /** The device transfers nothing any more. */
    void clear(const QString& serial);
    std::optional<Snapshot> snapshot(const QString& serial) const;
    QStringList serials() const;

    /** True once, when the device has been idle for stallMs: it then shows as stalled until it moves. */
    bool markStalledAfter(const QString& serial, qint64 stallMs);

    /** {"step", "index", "count", "bytesDone", "bytesTotal", "bytesPerSecond", "secondsLeft", "stalled"} */
    static QJsonObject toJson(const Snapshot& snapshot);
    /** One line: "OVR…: downloading session 2 of 3, 1.5 of 4.0 MiB, 120 KiB/s, 21 s left". */
    static QString describe(const QString& serial, const Snapshot& snapshot);
    /**
     * A status report (docs/control.md) with each device's "progress" (toJson, or null when it
     * transfers nothing) and "progressText" (describe, or empty).
     */
    QJsonObject addTo(QJsonObject report) const;
    /** What the tray tooltip shows: one line per device that transfers, or empty. */
    QString toolTipText() const;
    /** "listing", "downloading", "verifying", "uploading". */
    static QString stepName(Step step);

    static qint64 steadyClock();

private:
    struct Sample {
        qint64 atMs;
        qint64 bytesMoved;
    };
    struct Entry {
        Position position;
        std::deque<Sample> samples;
        qint64 lastMoveMs = 0;
        bool stalled = false;
    };
    Snapshot snapshotOf(const Entry& entry, qint64 nowMs) const;

    const Clock m_clock;
    mutable std::mutex m_mutex;
    QMap<QString, Entry> m_entries;
};
