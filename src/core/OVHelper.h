#pragma once

#include "OVDate.h"
#include "OVError.h"

#include <QString>

#include <algorithm>
#include <optional>

/** Class-level helpers shared by every subsystem. Thread-safe. */
class OVHelper {
public:
    /** The application's short version text ("1.0.0"). */
    static QString getApplicationVersion();
    /** "%02i:%02i:%02i" of whole hours (not limited to 24), minutes and seconds. */
    static QString formattedStringForDuration(double seconds);
    static OVError createError(const QString& description, int code, const QString& domain);

    /** True on macOS 10.11 or later: never on Linux. */
    static bool isOSXGreatherThan1011();

    /**
     * The firmware image shipped with the application: the first ".hff" file, by name, in the
     * resources directory.
     */
    static QString getFirmwareFilePath();
    /** Where the application's resources are: "resources" beside the binary unless set. */
    static QString resourcesDirectory();
    /** Points resourcesDirectory() elsewhere (an installed layout, a test); empty goes back. */
    static void setResourcesDirectory(const QString& directory);
    /** The text as a decimal number in the user's locale; none when it does not parse. */
    static std::optional<double> getFirmwareVersionFromString(const QString& text);
    /** The serial of a device seen only in recovery mode: its USB location written "0x%X". */
    static QString getSerialForHID(quint32 locationID);

    static QString getDeviceURIFromSerial(const QString& serial);
    static QString getUserURIFromId(quint64 userId);
    /** Seconds since 1970 × 256: the web API's 1/256-second units. */
    static double convertDateToOrvatimestamp(const OVDate& date);
    static OVDate convertOrvatimestampToDate(double orvatimestamp);

    /** Sessions by start, newest first, in place. */
    template <typename List> static void sortSessionsDesc(List& sessions) {
        std::stable_sort(sessions.begin(), sessions.end(),
                         [](const auto& a, const auto& b) { return a->start() > b->start(); });
    }

    /** Device records by serial, ascending text order, in place. */
    template <typename List> static void sortDevicesAsc(List& devices) {
        std::stable_sort(devices.begin(), devices.end(),
                         [](const auto& a, const auto& b) { return a->serial() < b->serial(); });
    }
};
