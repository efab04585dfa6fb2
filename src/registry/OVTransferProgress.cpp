#include "OVTransferProgress.h"

#include <QJsonArray>
#include <QStringList>

#include <chrono>
#include <cmath>

OVTransferProgress::OVTransferProgress(Clock clock)
    : m_clock(std::move(clock)) {}

qint64 OVTransferProgress::steadyClock() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void OVTransferProgress::report(const QString& serial, const Position& position) {
    const qint64 now = m_clock();
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_entries.find(serial);
    if (it == m_entries.end())
        it = m_entries.insert(serial, Entry{position, {}, now, false});
    Entry& entry = *it;
    const bool newStep = entry.position.step != position.step || entry.position.index != position.index ||
                         entry.position.bytesTotal != position.bytesTotal;
    if (newStep)
        entry.samples.clear();
    if (newStep || position.bytesMoved != entry.position.bytesMoved) {
        entry.lastMoveMs = now;
        entry.stalled = false;
    }
    entry.position = position;
    entry.samples.push_back({now, position.bytesMoved});
    // One sample older than the window anchors the speed over the whole window.
    while (entry.samples.size() > 2 && entry.samples[1].atMs <= now - kSpeedWindowMs)
        entry.samples.pop_front();
}

void OVTransferProgress::clear(const QString& serial) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_entries.remove(serial);
}

QStringList OVTransferProgress::serials() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_entries.keys();
}

std::optional<OVTransferProgress::Snapshot> OVTransferProgress::snapshot(const QString& serial) const {
    const qint64 now = m_clock();
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_entries.constFind(serial);
    if (it == m_entries.constEnd())
        return std::nullopt;
    return snapshotOf(*it, now);
}

OVTransferProgress::Snapshot OVTransferProgress::snapshotOf(const Entry& entry, qint64 nowMs) const {
    Snapshot snapshot;
    snapshot.position = entry.position;
    snapshot.idleMs = nowMs - entry.lastMoveMs;
    snapshot.stalled = entry.stalled;
    // The speed over the last window: from the newest sample at or before its start (else the oldest) to now,
    // so a transfer that stops slows down to nothing within the window.
    const qint64 windowStart = nowMs - kSpeedWindowMs;
    const Sample* from = entry.samples.empty() ? nullptr : &entry.samples.front();
    for (const Sample& sample : entry.samples) {
        if (sample.atMs <= windowStart)
            from = &sample;
    }
    const qint64 elapsedMs = from ? nowMs - from->atMs : 0;
    const qint64 moved = from ? entry.position.bytesMoved - from->bytesMoved : 0;
    if (elapsedMs > 0 && moved > 0)
        snapshot.bytesPerSecond = double(moved) * 1000.0 / double(elapsedMs);
    const qint64 left = entry.position.bytesTotal - entry.position.bytesDone;
    if (snapshot.bytesPerSecond > 0 && left >= 0)
        snapshot.secondsLeft = std::llround(double(left) / snapshot.bytesPerSecond);
    return snapshot;
}

bool OVTransferProgress::markStalledAfter(const QString& serial, qint64 stallMs) {
    const qint64 now = m_clock();
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_entries.find(serial);
    if (it == m_entries.end() || it->stalled || now - it->lastMoveMs < stallMs)
        return false;
    it->stalled = true;
    return true;
}

QString OVTransferProgress::stepName(Step step) {
    switch (step) {
    case Step::Listing:
        return QStringLiteral("listing");
    case Step::Downloading:
        return QStringLiteral("downloading");
    case Step::Verifying:
        return QStringLiteral("verifying");
    case Step::Uploading:
        break;
    }
    return QStringLiteral("uploading");
}

QJsonObject OVTransferProgress::toJson(const Snapshot& snapshot) {
    const Position& p = snapshot.position;
    return QJsonObject{{QStringLiteral("step"), stepName(p.step)},
                       {QStringLiteral("index"), p.index},
                       {QStringLiteral("count"), p.count},
                       {QStringLiteral("bytesDone"), p.bytesDone},
                       {QStringLiteral("bytesTotal"), p.bytesTotal},
                       {QStringLiteral("bytesPerSecond"), std::llround(snapshot.bytesPerSecond)},
                       {QStringLiteral("secondsLeft"), snapshot.secondsLeft},
                       {QStringLiteral("stalled"), snapshot.stalled}};
}

QString OVTransferProgress::describe(const QString& serial, const Snapshot& snapshot) {
    const Position& p = snapshot.position;
    QString text = serial + QStringLiteral(": ") + stepName(p.step);
    if (p.count > 0) {
        const QString unit = p.step == Step::Uploading ? QStringLiteral("chunk") : QStringLiteral("session");
        text += QStringLiteral(" %1 %2 of %3").arg(unit).arg(p.index).arg(p.count);
    }
    const auto mib = [](qint64 bytes) { return QString::number(double(bytes) / (1024.0 * 1024.0), 'f', 1); };
    if (p.bytesTotal > 0)
        text += QStringLiteral(", %1 of %2 MiB").arg(mib(p.bytesDone), mib(p.bytesTotal));
    if (snapshot.stalled)
        return text + QStringLiteral(", stalled");
    if (snapshot.bytesPerSecond > 0)
        text += QStringLiteral(", %1 KiB/s").arg(std::llround(snapshot.bytesPerSecond / 1024.0));
    if (snapshot.secondsLeft >= 0)
        text += QStringLiteral(", %1 s left").arg(snapshot.secondsLeft);
    return text;
}

QJsonObject OVTransferProgress::addTo(QJsonObject report) const {
    QJsonArray devices = report.value(QStringLiteral("devices")).toArray();
    for (QJsonValueRef value : devices) {
        QJsonObject device = value.toObject();
        const QString serial = device.value(QStringLiteral("serial")).toString();
        const std::optional<Snapshot> now = snapshot(serial);
        device.insert(QStringLiteral("progress"), now ? QJsonValue(toJson(*now)) : QJsonValue());
        device.insert(QStringLiteral("progressText"), now ? describe(serial, *now) : QString());
        value = device;
    }
    report.insert(QStringLiteral("devices"), devices);
    return report;
}

QString OVTransferProgress::toolTipText() const {
    const qint64 now = m_clock();
    std::lock_guard<std::mutex> lock(m_mutex);
    QStringList lines;
    for (auto it = m_entries.constBegin(); it != m_entries.constEnd(); ++it)
        lines.append(describe(it.key(), snapshotOf(*it, now)));
    return lines.join(QLatin1Char('\n'));
}
