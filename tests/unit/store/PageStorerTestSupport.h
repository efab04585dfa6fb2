#pragma once

#include "DeviceRig.h"
#include "StoreTestSupport.h"

#include "OVCommandFactory.h"
#include "OVCommandGetSessionList.h"
#include "OVNotificationCenter.h"
#include "OVOperationQueue.h"
#include "OVSessionFileRepository.h"
#include "OVSessionPageStorer.h"

#include <QFile>
#include <QTest>

#include <atomic>
#include <functional>

/** What one page storer announced about its session, in order. */
class StorerOutcome {
public:
    struct Change {
        int status;
        int percentage;
    };

    explicit StorerOutcome(std::shared_ptr<OVSession> session)
        : m_session(std::move(session)) {
        auto& center = OVNotificationCenter::defaultCenter();
        center.addObserver(this, OVNotificationName::OnSessionSyncStatusChanged,
                           [this](const OVNotification& n) {
                               if (n.objectAs<OVSession>() != m_session)
                                   return;
                               std::lock_guard<std::mutex> lock(m_mutex);
                               m_changes.append({m_session->syncStatus(), m_session->percentage()});
                               if (onChange)
                                   onChange(m_changes.last());
                           });
        center.addObserver(this, OVNotificationName::OnSessionStoredSuccess, [this](const OVNotification& n) {
            if (n.objectAs<OVSession>() == m_session)
                ++m_successes;
        });
        center.addObserver(this, OVNotificationName::OnSessionStoredFailed, [this](const OVNotification& n) {
            if (n.objectAs<OVSession>() == m_session)
                ++m_failures;
        });
    }
    ~StorerOutcome() { OVNotificationCenter::defaultCenter().removeObserver(this); }

    QList<Change> changes() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_changes;
    }
    /** Percentages announced with the given status, in order. */
    QList<int> percentages(int status) const {
        QList<int> out;
        for (const Change& c : changes()) {
            if (c.status == status)
                out.append(c.percentage);
        }
        return out;
    }
    int successes() const { return m_successes.load(); }
    int failures() const { return m_failures.load(); }

    /** Called on the posting thread after each change; set before the storer starts. */
    std::function<void(const Change&)> onChange;

private:
    std::shared_ptr<OVSession> m_session;
    mutable std::mutex m_mutex;
    QList<Change> m_changes;
    std::atomic<int> m_successes{0};
    std::atomic<int> m_failures{0};
};

/** The session list as the service reads it, through the GetSessionList command. */
inline OVSessionList listSessions(const std::shared_ptr<OrvaneCDCDevice>& device) {
    OVCommandFactory factory;
    auto command = factory.createGetSessionListCommand(OVDate::fromSecondsSince1970(0),
                                                       OVDate::fromSecondsSince1970(4102444800.0));
    struct Recorder : OVCommandDelegate {
        std::mutex mutex;
        std::optional<OVSessionList> sessions;
        void onCommandExecuted(const std::shared_ptr<OVCommand>&, const std::shared_ptr<OrvaneUSBDevice>&,
                               int status, const std::any& result) override {
            std::lock_guard<std::mutex> lock(mutex);
            sessions = status == 0 ? std::any_cast<OVSessionList>(result) : OVSessionList();
        }
    };
    auto recorder = std::make_shared<Recorder>();
    command->setDevice(device);
    command->setCommandDelegate(recorder);
    command->execute();
    (void)QTest::qWaitFor(
        [&] {
            std::lock_guard<std::mutex> lock(recorder->mutex);
            return recorder->sessions.has_value();
        },
        10000);
    std::lock_guard<std::mutex> lock(recorder->mutex);
    return recorder->sessions.value_or(OVSessionList());
}

/** The bytes of a device's session as the emulator holds them. */
inline QByteArray deviceSessionBytes(OvDeviceHub& hub, const QString& serial, int index) {
    QByteArray bytes;
    hub.dump(serial, index, [&](const QByteArray& chunk) {
        bytes += chunk;
        return true;
    });
    return bytes;
}

inline QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFileBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

/**
 * Runs one page storer on a width-1 queue, as the session storer does, and waits until it has
 * finished and announced its outcome (it marks itself finished before it posts the outcome).
 */
inline bool runStorer(const std::shared_ptr<OVSessionPageStorer>& storer, int timeoutMs = 60000) {
    std::atomic<bool> announced{false};
    int owner = 0;
    const auto mark = [&](const OVNotification& n) {
        if (n.objectAs<OVSession>() == storer->session())
            announced.store(true);
    };
    OVNotificationCenter::defaultCenter().addObserver(&owner, OVNotificationName::OnSessionStoredSuccess,
                                                      mark);
    OVNotificationCenter::defaultCenter().addObserver(&owner, OVNotificationName::OnSessionStoredFailed,
                                                      mark);
    OVOperationQueue queue(QStringLiteral("OVSessionFetcher queue"), 1);
    queue.addOperation(storer);
    const bool ended = QTest::qWaitFor([&] { return storer->isFinished() && announced.load(); }, timeoutMs);
    queue.waitUntilAllOperationsAreFinished();
    OVNotificationCenter::defaultCenter().removeObserver(&owner);
    return ended;
}
