#pragma once

#include "OVTransferProgress.h"

#include <QHash>
#include <QObject>
#include <QTimer>

#include <memory>

class OVDeviceInfo;
class OVDeviceManager;
class OVSession;

/**
 * Watches every device's download and upload once a second, keeps the progress table up to date,
 * and ends a stall: a transfer whose bytes have not moved for the stall time (60 s unless set) is
 * shown as stalled, logged once with what it was waiting for, cancelled, and started again after a
 * pause that doubles with each stall in a row (30 s, 1 min, 2 min … 15 min) and starts over once
 * bytes move again. A restart resumes where the store and the server stand: stored pages and
 * uploaded chunks are kept. Lives on the main thread.
 */
class OVStallWatchdog : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 kDefaultStallMs = 60000;
    static constexpr qint64 kFirstBackoffMs = 30000;
    static constexpr qint64 kMaximumBackoffMs = 15 * 60000;
    static constexpr int kTickMs = 1000;

    /** deviceMgr is not owned and must outlive the watchdog. */
    explicit OVStallWatchdog(OVDeviceManager* deviceMgr, QObject* parent = nullptr);

    /** The stall time and first pause: OV_STALL_SECONDS and OV_STALL_BACKOFF_SECONDS, else the defaults. */
    void configureFromEnvironment();
    void start();

    const OVTransferProgress& progress() const { return m_progress; }
    /** The pause before the restart after the given number of stalls in a row (1 = the first). */
    static qint64 backoffMs(qint64 firstBackoffMs, int stallsInARow);

    /** One pass: samples every device and handles the stalls; the timer calls it. */
    void tick();

Q_SIGNALS:
    /** After every pass: the progress table has been brought up to date. */
    void progressUpdated();

private:
    /** What the device is doing now, or none when it transfers nothing. */
    std::optional<OVTransferProgress::Position> positionOf(const std::shared_ptr<OVDeviceInfo>& device,
                                                           std::shared_ptr<OVSession>* active) const;
    void handleStall(const std::shared_ptr<OVDeviceInfo>& device,
                     const OVTransferProgress::Position& position, const std::shared_ptr<OVSession>& active);
    /** Starts the stalled step again, as far as the preferences allow; active: the session it was on. */
    void restart(const QString& serial, OVTransferProgress::Step step,
                 const std::shared_ptr<OVSession>& active);

    OVDeviceManager* m_deviceMgr;
    OVTransferProgress m_progress;
    QTimer m_timer;
    qint64 m_stallMs = kDefaultStallMs;
    qint64 m_firstBackoffMs = kFirstBackoffMs;
    /** Stalls in a row per serial; a device whose bytes move again starts over. */
    QHash<QString, int> m_stallsInARow;
    /** Serials waiting for their restart: not watched until then. */
    QHash<QString, bool> m_restarting;
};
