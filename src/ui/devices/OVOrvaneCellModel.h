#pragma once

#include "OVDeviceViewColor.h"
#include <QCoreApplication>

#include <QList>
#include <QString>

#include <memory>
#include <optional>

class OVDeviceInfo;
class OVSession;
class OVUser;

/** The sync state a device row shows in its badge. */
enum class OVOrvaneCellState {
    NoSessions,  ///< no badge, the text "No sessions"
    NotSynching, ///< count only, no badge
    Storing,
    InProgress,
    Complete,
};

/** What one row of the device list shows, from the device record. Pure functions, any thread. */
class OVOrvaneCellModel {
    Q_DECLARE_TR_FUNCTIONS(OVOrvaneCellModel)

public:
    /** "first last"; without names the username, else the e-mail; "Unknown" without a user. */
    static QString userText(const std::optional<OVUser>& user);
    /** "N/A" for the unknown level -1, "Charged" at exactly 100, "Charging" otherwise. */
    static QString batteryText(int level);
    /** The image name matching batteryText(). */
    static QString batteryIcon(int level);
    static QString connectionText(const OVDeviceInfo& device);
    static OVDeviceViewColor connectionColor(const OVDeviceInfo& device);
    /** Only a connected device can be identified. */
    static bool canIdentify(const OVDeviceInfo& device);
    /** "synced/all", e.g. "2/3". */
    static QString syncCountText(const QList<std::shared_ptr<OVSession>>& sessions);
    /** Storing wins over syncing, syncing over complete. */
    static OVOrvaneCellState syncState(const QList<std::shared_ptr<OVSession>>& sessions, bool storing,
                                       bool syncing);
    /** The badge's image name; empty when the badge is hidden. */
    static QString syncImage(OVOrvaneCellState state);
    static OVDeviceViewColor badgeColor(OVOrvaneCellState state);
    /** "Recovering 42%" for the fraction 0.42. */
    static QString recoveryText(double fraction);
};
