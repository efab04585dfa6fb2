#pragma once

#include "OrvaneFirmwareUpdateProtocol.h"
#include "OrvaneKVOObserver.h"
#include "OrvaneSocketTransport.h"
#include "OrvaneUSBDeviceManager.h"
#include "OvDevSimDaemon.h"
#include "OvDeviceHub.h"
#include "OvInProcessTransport.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

/** Writes a firmware image file into dir and answers its path. */
inline QString writeFirmware(const QTemporaryDir& dir, const QByteArray& bytes) {
    const QString path = dir.filePath(QStringLiteral("OVFW_test.hff"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return QString();
    return path;
}

/** One answer as a device callback delivered it. */
struct RecordedAnswer {
    int status = -1;
    std::any response;
    QVariantMap userInfo;
    std::thread::id thread;
    std::shared_ptr<OrvaneUSBDevice> device;
};

/** Collects device answers from the library's threads; the test thread reads them. */
class AnswerRecorder {
public:
    OrvaneCommandCallback callback() {
        return [this](const std::shared_ptr<OrvaneUSBDevice>& device, int status, const std::any& response,
                      const QVariantMap& userInfo) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_answers.append({status, response, userInfo, std::this_thread::get_id(), device});
        };
    }
    int count() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return int(m_answers.size());
    }
    RecordedAnswer at(int i) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_answers.value(i);
    }

private:
    mutable std::mutex m_mutex;
    QList<RecordedAnswer> m_answers;
};

/** A request target that counts its release: the library holds it until the answer or the device's departure.
 */
struct ReleaseCounter {
    explicit ReleaseCounter(std::atomic<int>& released)
        : m_released(released) {}
    ~ReleaseCounter() { ++m_released; }
    std::atomic<int>& m_released;
};

class FirmwareRecorder : public OrvaneFirmwareUpdateProtocol {
public:
    void firmwareUpdateCompletionLevel(double level) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_levels.append(level);
    }
    void firmwareUpdateComplete(int status) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_completions.append(status);
    }
    QList<double> levels() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_levels;
    }
    QList<int> completions() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_completions;
    }

private:
    mutable std::mutex m_mutex;
    QList<double> m_levels;
    QList<int> m_completions;
};

/** Observes the manager's change reports for as long as it lives (also when a test returns early). */
class KeyPathRecorder : public OrvaneKVOObserver {
public:
    explicit KeyPathRecorder(OrvaneUSBDeviceManager& manager)
        : m_manager(manager) {
        m_manager.setupKVOObserver(this);
    }
    ~KeyPathRecorder() override { m_manager.unsetKVOObserver(this); }
    void stop() { m_manager.unsetKVOObserver(this); }
    void observeValueForKeyPath(const QString& keyPath, OrvaneUSBDeviceManager*) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_keyPaths.append(keyPath);
    }
    QStringList keyPaths() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_keyPaths;
    }

private:
    OrvaneUSBDeviceManager& m_manager;
    mutable std::mutex m_mutex;
    QStringList m_keyPaths;
};

/**
 * An emulator with zero-delay link, reached by the shared device manager either in process or
 * through a daemon on a private socket.
 */
class DeviceRig {
public:
    explicit DeviceRig(bool throughSocket, const QString& stateDirectory = QString())
        : m_throughSocket(throughSocket) {
        startHub(stateDirectory);
        if (throughSocket) {
            m_socketPath = m_dir.filePath(QStringLiteral("ovdevsim.sock"));
            startDaemon();
            manager().setTransport(std::make_shared<OrvaneSocketTransport>(m_socketPath));
        } else {
            manager().setTransport(std::make_shared<OvInProcessTransport>(m_hub));
        }
    }
    ~DeviceRig() {
        manager().setTransport(nullptr);
        m_daemon.reset();
    }

    static OrvaneUSBDeviceManager& manager() { return OrvaneUSBDeviceManager::sharedInstance(); }
    OvDeviceHub& hub() { return *m_hub; }
    bool throughSocket() const { return m_throughSocket; }
    QString socketPath() const { return m_socketPath; }

    /** Stops the daemon and its emulator (the state directory stays), then starts both again. */
    void stopDaemon() {
        m_daemon.reset();
        m_hub.reset();
    }
    void restartDaemon(const QString& stateDirectory) {
        startHub(stateDirectory);
        startDaemon();
    }
    /** A fresh emulator with no devices, reached the same way: it numbers its devices anew. */
    void restartEmulator() {
        if (m_throughSocket) {
            stopDaemon();
            restartDaemon(QString());
            return;
        }
        startHub(QString());
        manager().setTransport(std::make_shared<OvInProcessTransport>(m_hub));
    }

    /** Plugs a device with the given sessions of `pages` pages each and waits for it. */
    std::shared_ptr<OrvaneCDCDevice> plug(const QString& serial, int sessions = 2, quint32 pages = 8) {
        OvPlugOptions options;
        options.serial = serial;
        options.sessions = sessions;
        options.pages = {pages};
        options.users = {101, 102};
        options.defaultUser = 101;
        m_hub->plug(options);
        return waitForCdc(serial);
    }
    std::shared_ptr<OrvaneCDCDevice> cdc(const QString& serial) const {
        for (const auto& d : manager().cdcOrvanes()) {
            if (d->deviceInformations().serial == serial)
                return d;
        }
        return nullptr;
    }
    std::shared_ptr<OrvaneCDCDevice> waitForCdc(const QString& serial,
                                                const std::shared_ptr<OrvaneCDCDevice>& other = {}) {
        std::shared_ptr<OrvaneCDCDevice> found;
        const bool ok = QTest::qWaitFor(
            [&] {
                found = cdc(serial);
                return found && found != other;
            },
            10000);
        return ok ? found : nullptr;
    }

private:
    void startHub(const QString& stateDirectory) {
        m_hub = std::make_shared<OvDeviceHub>(stateDirectory, OvLinkModel::zeroDelay());
    }
    void startDaemon() {
        m_daemon = std::make_unique<OvDevSimDaemon>(m_hub, m_socketPath);
        QString error;
        if (!m_daemon->listen(&error))
            qFatal("daemon: %s", qPrintable(error));
        m_daemon->start();
    }

    const bool m_throughSocket;
    QTemporaryDir m_dir;
    QString m_socketPath;
    std::shared_ptr<OvDeviceHub> m_hub;
    std::unique_ptr<OvDevSimDaemon> m_daemon;
};
