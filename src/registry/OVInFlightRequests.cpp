#include "OVInFlightRequests.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

/** A network access manager that its registry knows while it lives. */
class OVInFlightRequests::TrackedAccess : public QNetworkAccessManager {
public:
    TrackedAccess(OVInFlightRequests& owner)
        : m_owner(owner) {}
    // Leaves the registry before QObject's destructor drops the events posted to it.
    ~TrackedAccess() override {
        std::lock_guard<std::mutex> lock(m_owner.m_mutex);
        m_owner.m_live.remove(this);
        m_owner.m_left.notify_all();
    }

private:
    OVInFlightRequests& m_owner;
};

OVService::NetworkAccessFactory OVInFlightRequests::factory() {
    return [this]() -> std::unique_ptr<QNetworkAccessManager> {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_closed)
            return nullptr;
        auto access = std::make_unique<TrackedAccess>(*this);
        m_live.insert(access.get());
        return access;
    };
}

void OVInFlightRequests::abortAll() {
    std::lock_guard<std::mutex> lock(m_mutex);
    // Posted under the lock: a manager leaving meanwhile waits for it, then its destruction drops the
    // event. Each runs on the manager's own thread, in the event loop that waits for the answer.
    for (QNetworkAccessManager* access : std::as_const(m_live))
        QMetaObject::invokeMethod(
            access,
            [access] {
                for (QNetworkReply* reply : access->findChildren<QNetworkReply*>())
                    reply->abort();
            },
            Qt::QueuedConnection);
}

bool OVInFlightRequests::close(int waitMs) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closed = true;
    }
    abortAll();
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_left.wait_for(lock, std::chrono::milliseconds(waitMs), [this] { return m_live.isEmpty(); });
}
