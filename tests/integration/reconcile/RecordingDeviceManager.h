#pragma once

#include "NullDeviceManager.h"

#include <mutex>

/** A device manager that only records the uploads handed to it; every other operation does nothing. */
class RecordingDeviceManager : public NullDeviceManager {
public:
    struct Upload {
        double start;
        bool forced;
        bool operator==(const Upload& o) const { return start == o.start && forced == o.forced; }
    };

    QList<Upload> uploads() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_uploads;
    }
    void syncSession(const std::shared_ptr<OVSession>& session,
                     const std::shared_ptr<OVDeviceInfo>&) override {
        record(*session, false);
    }
    void forceSyncSession(const std::shared_ptr<OVSession>& session,
                          const std::shared_ptr<OVDeviceInfo>&) override {
        record(*session, true);
    }

private:
    void record(const OVSession& session, bool forced) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_uploads.append({session.start().secondsSince1970(), forced});
    }

    mutable std::mutex m_mutex;
    QList<Upload> m_uploads;
};
