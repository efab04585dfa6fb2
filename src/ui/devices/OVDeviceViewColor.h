#pragma once

/**
 * The colours the device views paint with, by meaning. The widgets turn each into the style
 * manager's colour of the same name, so the palette stays in one place.
 */
enum class OVDeviceViewColor {
    Clear,        ///< no fill (a hidden badge)
    Brand,        ///< storing, syncing: the brand blue
    Connected,    ///< connected text, synced badge and status
    Disconnected, ///< disconnected or recovering text
    SyncFailed,   ///< failed or corrupted status
    SessionGray,  ///< waiting, ready or unknown status
    GoodBattery,  ///< battery bar above 15 %
    LowBattery,   ///< battery bar at 15 % or below, or unknown
};
