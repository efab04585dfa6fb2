#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <memory>

class OVDeviceInfo;
class OVSession;

/** The four views the device list switches between in the same area. */
enum class OVDeviceListPane { List, Detail, Assign, NoOrvane };

/**
 * Which view the device list shows after its device list changed, and the other decisions the list
 * makes about devices and sessions. Pure functions, any thread.
 */
class OVDeviceListNavigator {
public:
    enum class Action {
        ShowList,
        ShowDetail,    ///< of `device`; none clears the detail of a device that has gone
        RefreshAssign, ///< the assign view refreshes itself
        ShowNoOrvane,
        Keep, ///< a device restarting for an update or a restore: hold its detail
    };
    struct Decision {
        Action action = Action::ShowList;
        std::shared_ptr<OVDeviceInfo> device;
    };
    struct Situation {
        bool signedIn = false;
        OVDeviceListPane showing = OVDeviceListPane::List;
        /** The serial of the device whose detail is showing. */
        QString shownSerial;
        /** The detail waits for its device to come back. */
        bool waitToReconnect = false;
    };
    using IsRecovering = std::function<bool(const std::shared_ptr<OVDeviceInfo>&)>;

    static Decision afterDeviceListChange(const Situation& situation,
                                          const QList<std::shared_ptr<OVDeviceInfo>>& devices,
                                          const IsRecovering& isRecovering);
    /** A device in recovery mode cannot be opened. */
    static bool canOpen(const OVDeviceInfo& device);
    /** A session refused by the web API for its credentials signs the user out. */
    static bool signsOut(const OVSession& session);
    static std::shared_ptr<OVDeviceInfo>
    findDeviceBySerial(const QList<std::shared_ptr<OVDeviceInfo>>& devices, const QString& serial);
};
