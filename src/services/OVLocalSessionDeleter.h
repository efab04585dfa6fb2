#pragma once

class OVDeviceManagerProtocol;
class OVSessionRepositoryProtocol;

/**
 * Deleting every locally stored session: refused while a device is plugged in (it would download
 * them again at once, half-done) or while a sync runs (it reads the files being deleted).
 */
class OVLocalSessionDeleter {
public:
    enum class Refusal { None, DeviceConnected, Syncing };

    /** The first reason, in that order, that forbids deleting now. */
    static Refusal refusal(OVDeviceManagerProtocol& deviceManager);
    /**
     * Removes every session of every known device, connected or not, from the store and from the
     * device's list; removal errors are skipped so that one bad folder does not keep the others.
     */
    static void deleteAllSessions(OVDeviceManagerProtocol& deviceManager,
                                  OVSessionRepositoryProtocol& repository);
};
