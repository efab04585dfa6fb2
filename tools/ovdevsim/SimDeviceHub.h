#pragma once

#include "OrvaneTransport.h"
#include "SimFault.h"
#include "SimLinkModel.h"
#include "SimPlugOptions.h"
#include "SimVirtualDevice.h"

#include <QJsonArray>
#include <QList>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

/** Told the complete list of attached devices after every change. */
class SimHubListener {
public:
    virtual ~SimHubListener() = default;
    virtual void hubDeviceListChanged(const QList<OrvaneDeviceDescriptor>& devices) = 0;
};

/** Where the answers of a client's requests go; called on the device's worker thread. */
class SimReplySink {
public:
    virtual ~SimReplySink() = default;
    virtual void deliverAnswer(const OrvaneAnswer& answer) = 0;
    virtual void deliverProgress(quint64 requestId, double level) = 0;
};

/**
 * The emulator: every known virtual device (plugged or not), the attached ones each with a worker
 * thread that serves its requests one at a time at the pace of the link model, fault injection,
 * and the state directory that keeps devices across restarts. Used by the daemon and, in tests,
 * by the in-process transport. Thread-safe.
 *
 * An answer is delivered only while its attachment lives: a device that is unplugged or restarts
 * never answers what it had pending, and its departure is published after any answer it gave.
 */
class SimDeviceHub {
public:
    /** stateDirectory empty: nothing is saved. Devices saved as plugged are attached again. */
    explicit SimDeviceHub(const QString& stateDirectory = QString(),
                          const SimLinkModel& link = SimLinkModel::fullSpeed());
    ~SimDeviceHub();
    SimDeviceHub(const SimDeviceHub&) = delete;
    SimDeviceHub& operator=(const SimDeviceHub&) = delete;

    QString stateDirectory() const { return m_stateDirectory; }
    /** Saved device files that could not be read at start, one text each. */
    QStringList loadErrors() const;

    /** Adds a listener (not owned) and tells it the current list at once. */
    void addListener(SimHubListener* listener);
    /** When it returns, no call to listener is running. */
    void removeListener(SimHubListener* listener);
    QList<OrvaneDeviceDescriptor> attachedDevices() const;
    /** Queues a request for its device; false when refused (unknown handle, wrong mode, fault). */
    bool submit(const OrvaneRequest& request, const std::shared_ptr<SimReplySink>& sink);

    /** Creates and attaches a device (or plugs a known one back); answers its serial. */
    std::optional<QString> plug(const SimPlugOptions& options, QString* error = nullptr);
    bool unplug(const QString& serial, QString* error = nullptr);
    /** Unplugs (when attached) and plugs the device in again: a new attachment. */
    bool replug(const QString& serial, QString* error = nullptr);
    /** The device restarts in recovery mode at its location. */
    bool recovery(const QString& serial, QString* error = nullptr);
    /** A new device attached in recovery mode only; answers its serial. */
    std::optional<QString> addHid(std::optional<quint32> location, QString* error = nullptr);
    bool setBattery(const QString& serial, int level, QString* error = nullptr);
    bool addFault(const QString& serial, const SimFault& fault, QString* error = nullptr);
    bool clearFaults(const QString& serial, QString* error = nullptr);
    void setLinkModel(const SimLinkModel& link);
    SimLinkModel linkModel() const;

    /** Every known device (see SimVirtualDevice::summaryJson), by serial. */
    QJsonArray list() const;
    /** The session table as the device holds it. */
    std::optional<QJsonArray> sessions(const QString& serial, QString* error = nullptr) const;
    /** The raw pages of a session, in chunks, stopping early when out answers false. */
    bool dump(const QString& serial, int index, const std::function<bool(const QByteArray&)>& out,
              QString* error = nullptr) const;
    /** A copy of a device's state. */
    std::optional<SimVirtualDevice> device(const QString& serial) const;
    /** Changes a device's state in place (and saves it). */
    bool editDevice(const QString& serial, const std::function<void(SimVirtualDevice&)>& edit,
                    QString* error = nullptr);

private:
    struct Attachment;
    struct Job {
        OrvaneRequest request;
        std::shared_ptr<SimReplySink> sink;
    };
    enum class After { Nothing, Restart, Unplug };

    void runWorker(const std::shared_ptr<Attachment>& attachment);
    void process(Attachment& attachment, const Job& job);
    void processFlash(Attachment& attachment, const Job& job, const SimLinkModel& link);
    /** One handler per request kind, under the hub's lock: fills answer, says what follows it. */
    After answerLocked(SimVirtualDevice& device, const OrvaneRequest& request, OrvaneAnswer& answer);
    After answerBattery(SimVirtualDevice& device, OrvaneAnswer& answer);
    After answerPage(SimVirtualDevice& device, quint64 address, OrvaneAnswer& answer);
    static After answerSessionList(const SimVirtualDevice& device, const OrvaneRequest& request,
                                   OrvaneAnswer& answer);
    After answerSetDefaultUser(SimVirtualDevice& device, quint64 user, OrvaneAnswer& answer);
    void deliver(Attachment& attachment, const Job& job, const OrvaneAnswer& answer);
    std::optional<SimFault> consumeFault(SimVirtualDevice& device, SimFault::Kind kind,
                                         const std::function<bool(const SimFault&)>& applies);

    void attachLocked(SimVirtualDevice& device);
    void detachLocked(const QString& serial);
    bool isAttachedLocked(const QString& serial) const;
    void reapLocked();
    void publish();
    void restart(const QString& serial, bool intoRecovery);
    void attachLater(const QString& serial, qint64 delayMs);
    void runTimers();
    void save(const SimVirtualDevice& device) const;
    void load();
    SimVirtualDevice* findLocked(const QString& serial, QString* error);
    const SimVirtualDevice* findLocked(const QString& serial, QString* error) const;
    /** The device when it is plugged in; null with "not plugged in" or "no device" otherwise. */
    SimVirtualDevice* findPluggedLocked(const QString& serial, QString* error);
    quint32 freeLocationLocked() const;
    QString freeSerialLocked() const;
    bool locationTakenLocked(quint32 location, const QString& except) const;

    const QString m_stateDirectory;
    mutable std::mutex m_mutex;
    std::map<QString, SimVirtualDevice> m_devices;
    QList<std::shared_ptr<Attachment>> m_attached;
    std::vector<std::shared_ptr<Attachment>> m_retired;
    SimLinkModel m_link;
    quint32 m_nextHandle = 1;
    bool m_shuttingDown = false;
    QStringList m_loadErrors;

    std::mutex m_publishMutex;
    QList<SimHubListener*> m_listeners;

    std::mutex m_timerMutex;
    std::condition_variable m_timerWake;
    std::multimap<std::chrono::steady_clock::time_point, std::function<void()>> m_timers;
    bool m_timersStopping = false;
    std::thread m_timerThread;
};
