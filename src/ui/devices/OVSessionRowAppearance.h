#pragma once

#include "OVDeviceViewColor.h"
#include <QCoreApplication>

#include <QString>

#include <optional>

class OVSession;

/** What the detail view refreshes when a session of the shown device changes status. */
enum class OVSessionRefresh {
    Nothing,        ///< a sync that only just started
    RowOnly,        ///< storing progress: the row, not the counts
    CountsAndRow,   ///< any other change: the counts and the row
    CountsAndTable, ///< storing failed: the counts and the whole table
};

/**
 * The status column of one session row: text, background and error icon, from the session's sync
 * status. Value type, any thread.
 */
class OVSessionRowAppearance {
    Q_DECLARE_TR_FUNCTIONS(OVSessionRowAppearance)

public:
    QString text;
    OVDeviceViewColor background = OVDeviceViewColor::SessionGray;
    bool errorShown = false;
    /** The error icon's tool tip; none leaves the current one. */
    std::optional<QString> errorToolTip;

    /** None for a status the row does not know (the row keeps what it shows). */
    static std::optional<OVSessionRowAppearance> forSession(const OVSession& session);
    /** "hh:mm:ss" from start to end, whole seconds, hours not limited to 24. */
    static QString durationText(const OVSession& session);
    static OVSessionRefresh refreshFor(int syncStatus);
};
