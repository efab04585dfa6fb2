#pragma once
#include "DeviceRig.h"
#include "OVCloudServer.h"
#include "OVCredentialManager.h"
#include "OVDataLookup.h"
#include "OVDeviceInfo.h"
#include "OVDeviceManager.h"
#include "OVLoginItem.h"
#include "OVPreferencesManager.h"
#include "OVService.h"
#include "SUUpdater.h"
#include "UiTestSupport.h"

#include <QApplication>
#include <QJsonObject>
#include <QMessageBox>
#include <QTest>

/**
 * What the device views stand on: a private home, the real ovcloud with the demo coach's credential,
 * emulated devices in process and the device registry over them. Build it in initTestCase.
 */
class ViewRig {
public:
    bool start(QString* error) {
        useTemporaryHome(m_home);
        if (!server.start(error))
            return false;
        qputenv("OV_SERVER_URL", server.apiUrl().toUtf8());
        qputenv("OV_NETWORK_TIME_URL", server.rootUrl().toUtf8());
        OVDataLookup::sharedInstance().setService(&service);
        const QJsonObject demo = OVCloudServer::demoAccount();
        password = demo.value(QLatin1String("password")).toString();
        coach.username = demo.value(QLatin1String("username")).toString();
        coach.identifier = demo.value(QLatin1String("user_id")).toInteger();
        coach.uri = QStringLiteral("/api/user/%1/").arg(*coach.identifier);
        credentials.saveCredential(coach, password);
        devices = std::make_unique<DeviceRig>(false);
        manager = OVDeviceManager::create(&service, &credentials, &preferences, &DeviceRig::manager());
        manager->updateDeviceList();
        return true;
    }

    /** Unplugs every device and cancels the transfers; false when they did not stop in time. */
    bool settle() {
        for (const QString& serial : std::as_const(m_plugged))
            devices->hub().unplug(serial);
        m_plugged.clear();
        bool stopped = QTest::qWaitFor([] { return DeviceRig::manager().cdcOrvanes().isEmpty(); }, 10000);
        manager->cancelAll();
        return QTest::qWaitFor([&] { return !manager->isStoringSessions() && !manager->isSynching(); },
                               20000) &&
               stopped;
    }

    /** False when a device or a transfer did not stop in time. */
    bool stop() {
        const bool stopped = settle();
        manager.reset();
        devices.reset();
        OVDataLookup::sharedInstance().reset();
        return stopped;
    }

    /** Plugs a new device and waits until the registry knows it connected; null on failure. */
    std::shared_ptr<OVDeviceInfo> plug(int sessions, quint64 defaultUser,
                                       std::optional<QString> firmware = {}) {
        SimPlugOptions options;
        options.firmware = firmware.value_or(options.firmware);
        options.serial = QStringLiteral("OVRVIEW%1").arg(++m_serialCounter, 9, 10, QLatin1Char('0'));
        options.sessions = sessions;
        options.pages = {4};
        options.users = {101, 102, 103};
        options.defaultUser = defaultUser;
        if (!devices->hub().plug(options))
            return nullptr;
        m_plugged << options.serial;
        const auto connected = [&] {
            const auto record = manager->getDevice(options.serial);
            return record && record->isConnected();
        };
        return QTest::qWaitFor(connected, 10000) ? manager->getDevice(options.serial) : nullptr;
    }

    bool unplug(const QString& serial) {
        m_plugged.removeAll(serial);
        return devices->hub().unplug(serial) &&
               QTest::qWaitFor([&] { return !manager->getDevice(serial)->isConnected(); }, 10000);
    }

    /** The newest visible message box (alert or sheet), or null. */
    static QMessageBox* visibleMessageBox() {
        QMessageBox* found = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
                found = box;
        }
        return found;
    }

    OVCloudServer server;
    OVCredentialManager credentials;
    SUUpdater updater;
    OVPreferencesManager preferences{OVLoginItem(QStringLiteral("/bin/true"), QString()), &updater};
    OVService service{&credentials, &preferences};
    OVUser coach;
    QString password;
    std::unique_ptr<DeviceRig> devices;
    std::shared_ptr<OVDeviceManager> manager;

private:
    QTemporaryDir m_home;
    QStringList m_plugged;
    int m_serialCounter = 0;
};
