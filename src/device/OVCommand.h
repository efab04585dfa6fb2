#pragma once

#include "OVCommandDelegate.h"
#include "OrvaneUSBDevice.h"

#include <QString>
#include <QVariantMap>

#include <any>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>

/**
 * One request to a device, turned into one report to its delegate. The owner creates it, sets the
 * device, the delegate and the retry policy, calls execute() and drops it; the library keeps it
 * alive while its request is pending.
 *
 *   execute -> executeInternal -> request sent ----------> callback -> onCommandSucceed -> report 0
 *                  |                  |                        \----> onCommandFailed
 *                  | refused/throws   | device left, no answer          | retry allowed and left:
 *                  v                  v                                 |   retry pause, execute again
 *            onCommandFailed    lost answer -> report 2                 \-> otherwise report 2
 *
 * A command ends in exactly one final report (success, failure after the last retry, or lost
 * answer); firmware commands report progress (status 3) before it. The lost answer is reported
 * when the library lets go of a request it had accepted without answering it (its device left); a
 * request the library refused takes the failure path instead, so it never also counts as lost.
 * A report to a delegate that no longer exists is dropped.
 */
class OVCommand : public std::enable_shared_from_this<OVCommand> {
public:
    virtual ~OVCommand();

    std::shared_ptr<OrvaneUSBDevice> device() const;
    void setDevice(std::shared_ptr<OrvaneUSBDevice> device);
    std::shared_ptr<OVCommandDelegate> commandDelegate() const;
    /** Held weakly. */
    void setCommandDelegate(const std::weak_ptr<OVCommandDelegate>& delegate);
    bool allowRetry() const { return m_allowRetry.load(); }
    void setAllowRetry(bool allow) { m_allowRetry.store(allow); }
    int retryNumber() const { return m_retryNumber.load(); }
    void setRetryNumber(int number) { m_retryNumber.store(number); }
    /** The wait before each retry; 0.5 s unless set. */
    std::chrono::milliseconds retryPause() const { return std::chrono::milliseconds(m_retryPauseMs.load()); }
    void setRetryPause(std::chrono::milliseconds pause) { m_retryPauseMs.store(pause.count()); }
    int currentNumberOfRetry() const { return m_currentNumberOfRetry.load(); }
    /** The library delivered the answer of the current request (progress reports do not count). */
    bool receivedCallbackFromCommand() const { return m_receivedCallbackFromCommand.load(); }

    /** Sends the request on the caller's thread; failures to send take the failure path. */
    void execute();
    /** Sends the command's request (commands override; the base sends nothing). */
    virtual void executeInternal() {}
    /** The library's answer; the base treats any non-zero status as a failure and carries no result. */
    virtual void callback(const std::shared_ptr<OrvaneUSBDevice>& device, int status,
                          const std::any& response, const QVariantMap& userInfo);
    /** The text naming the device in log lines; the base has none. */
    virtual QString getSerial() const { return QString(); }
    /** Retries when allowed and left, otherwise reports status 2. Blocks retryPause() first. */
    void onCommandFailed();
    void onCommandSucceed(const std::any& result);

    /** "<ClassName: 0x…>": the class and the instance, as log lines show a command. */
    QString description() const;

protected:
    OVCommand() = default;

    using Send = std::function<bool(std::shared_ptr<void> target, OrvaneCommandCallback callback)>;
    using SendFirmware = std::function<bool(std::shared_ptr<OrvaneFirmwareUpdateProtocol> target)>;
    /**
     * Sends one request through send, which hands the target and callback to the library and
     * answers whether the library took it. A refusal logs "%@ command failed for device : %@" and
     * takes the failure path unless ignoreRefusal (then only the lost answer can end the command).
     */
    void sendRequest(const Send& send, bool ignoreRefusal = false);
    /** The same for a firmware write; progress and completion come to the two overridables below. */
    void sendFirmware(const SendFirmware& send, bool ignoreRefusal = false);
    virtual void firmwareProgress(double level) { (void)level; }
    virtual void firmwareComplete(int status) { (void)status; }

    void markCallbackReceived() { m_receivedCallbackFromCommand.store(true); }
    /** Progress report (status 3); any number before the final report. */
    void reportProgress(const std::any& value);
    /**
     * Runs work as a callback body: an exception is logged with its call stack and, unless the
     * command has already ended, takes the failure path. Nothing escapes.
     */
    void guarded(const std::function<void()>& work);

private:
    struct Attempt;
    class Ticket;
    class FirmwareTicket;
    friend class Ticket;
    friend class FirmwareTicket;

    void report(int status, const std::any& result);
    void reportLostAnswer();
    void finishSend(const std::shared_ptr<Attempt>& attempt, bool accepted, bool ignoreRefusal);

    mutable std::mutex m_mutex;
    std::shared_ptr<OrvaneUSBDevice> m_device;
    std::weak_ptr<OVCommandDelegate> m_delegate;
    std::atomic<bool> m_allowRetry{false};
    std::atomic<int> m_retryNumber{0};
    std::atomic<std::chrono::milliseconds::rep> m_retryPauseMs{500};
    std::atomic<int> m_currentNumberOfRetry{0};
    std::atomic<bool> m_receivedCallbackFromCommand{false};
    std::atomic<bool> m_finalReported{false};
};
