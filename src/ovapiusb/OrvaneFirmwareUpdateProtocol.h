#pragma once

/**
 * The target of a firmware write (OrvaneUSBDevice::flashFirmware). Both calls come on the library's
 * thread of the device being written.
 */
class OrvaneFirmwareUpdateProtocol {
public:
    virtual ~OrvaneFirmwareUpdateProtocol() = default;
    /** Progress of the write, 0 to 100; called any number of times before completion. */
    virtual void firmwareUpdateCompletionLevel(double level) = 0;
    /** Called once at the end; status 0 is success (see OrvaneStatus). */
    virtual void firmwareUpdateComplete(int status) = 0;
};
