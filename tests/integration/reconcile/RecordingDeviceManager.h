#pragma once

#include "OVDeviceManagerProtocol.h"

#include <mutex>

/** A device manager that only records the uploads handed to it; every other operation does nothing. */
class RecordingDeviceManager : public OVDeviceManagerProtocol {
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

    void updateDeviceList(UpdateDeviceListCompletion) override {}
    void updateDeviceList() override {}
    QList<std::shared_ptr<OVDeviceInfo>> getDevices() override { return {}; }
    bool identifyDevice(const std::shared_ptr<OVDeviceInfo>&, OVError*) override { return false; }
    bool eraseDevice(const std::shared_ptr<OVDeviceInfo>&, OVError*) override { return false; }
    bool resetDevice(const std::shared_ptr<OVDeviceInfo>&, OVError*) override { return false; }
    bool updateDevice(const std::shared_ptr<OVDeviceInfo>&, const QString&, OVError*) override {
        return false;
    }
    bool recoverDevice(const std::shared_ptr<OVDeviceInfo>&, const QString&, OVError*) override {
        return false;
    }
    bool assignDefaultUserToDevice(const std::shared_ptr<OVDeviceInfo>&, quint64, OVError*) override {
        return false;
    }
    bool getDefaultUserForDevice(const std::shared_ptr<OVDeviceInfo>&, OVError*) override { return false; }
    void subscribeToCommandNotification(const std::shared_ptr<OVDeviceCommandDelegate>&) override {}
    void unSubscribeToCommandNotification(const std::shared_ptr<OVDeviceCommandDelegate>&) override {}
    void syncAllDevices() override {}
    void cancelAll() override {}
    void sync(const std::shared_ptr<OVDeviceInfo>&) override {}
    void cancelSync(const std::shared_ptr<OVDeviceInfo>&) override {}
    void cancelStoring(const std::shared_ptr<OVDeviceInfo>&) override {}
    bool isDeviceSynching(const std::shared_ptr<OVDeviceInfo>&) override { return false; }
    bool isSynching() override { return false; }
    bool isStoringSessionsForDevice(const std::shared_ptr<OVDeviceInfo>&) override { return false; }
    bool isStoringSessions() override { return false; }
    bool isDeviceRecovering(const std::shared_ptr<OVDeviceInfo>&) override { return false; }
    OVServiceProtocol* service() const override { return nullptr; }
    void setService(OVServiceProtocol*) override {}
    OVCredentialManagerProtocol* credMgr() const override { return nullptr; }
    void setCredMgr(OVCredentialManagerProtocol*) override {}
    OVPreferencesManagerProtocol* prefMgr() const override { return nullptr; }
    void setPrefMgr(OVPreferencesManagerProtocol*) override {}

private:
    void record(const OVSession& session, bool forced) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_uploads.append({session.start().secondsSince1970(), forced});
    }

    mutable std::mutex m_mutex;
    QList<Upload> m_uploads;
};
