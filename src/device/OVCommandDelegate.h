#pragma once

#include <any>
#include <memory>

class OVCommand;
class OrvaneUSBDevice;

/** Report statuses of a command. */
enum OVCommandStatus : int {
    /** Success; the result is the command's parsed response, or empty. */
    OVCommandStatusSuccess = 0,
    /** Failure (after the retries the command was allowed); the result is empty. */
    OVCommandStatusFailed = 2,
    /** Progress of a firmware write; the result is the library's progress value (double). */
    OVCommandStatusProgress = 3,
};

/** Receives a command's reports: any number of progress reports, then exactly one final report. */
class OVCommandDelegate {
public:
    virtual ~OVCommandDelegate() = default;
    /** Called on the library's callback thread, or on the caller's thread when the request never left. */
    virtual void onCommandExecuted(const std::shared_ptr<OVCommand>& command,
                                   const std::shared_ptr<OrvaneUSBDevice>& device, int status,
                                   const std::any& result) = 0;
};
