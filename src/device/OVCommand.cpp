#include "OVCommand.h"

#include "OVException.h"
#include "OVLogger.h"
#include "OrvaneFirmwareUpdateProtocol.h"

#include <cxxabi.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <typeinfo>

// The state of one request: whether the library took it and whether it answered. Shared by the
// command's callback and the ticket the library holds.
struct OVCommand::Attempt {
    enum State { Sending, Accepted, Refused, Answered };
    std::mutex mutex;
    State state = Sending;

    void set(State s) {
        std::lock_guard<std::mutex> lock(mutex);
        if (state != Answered)
            state = s;
    }
    /** True when the library lets go of a request it took and never answered. */
    bool lost() {
        std::lock_guard<std::mutex> lock(mutex);
        return state == Accepted;
    }
};

// What the library holds while a request is pending: it keeps the command alive, and its release
// without an answer is the lost answer.
class OVCommand::Ticket {
public:
    Ticket(std::shared_ptr<OVCommand> command, std::shared_ptr<Attempt> attempt)
        : m_command(std::move(command))
        , m_attempt(std::move(attempt)) {}
    virtual ~Ticket() {
        // The library releases tickets on its own threads, where nothing may escape a destructor.
        if (m_attempt->lost())
            m_command->guarded([this] { m_command->reportLostAnswer(); });
    }

protected:
    const std::shared_ptr<OVCommand> m_command;
    const std::shared_ptr<Attempt> m_attempt;
};

class OVCommand::FirmwareTicket : public Ticket, public OrvaneFirmwareUpdateProtocol {
public:
    using Ticket::Ticket;
    void firmwareUpdateCompletionLevel(double level) override {
        m_command->guarded([&] { m_command->firmwareProgress(level); });
    }
    void firmwareUpdateComplete(int status) override {
        m_attempt->set(Attempt::Answered);
        m_command->guarded([&] { m_command->firmwareComplete(status); });
    }
};

OVCommand::~OVCommand() = default;

std::shared_ptr<OrvaneUSBDevice> OVCommand::device() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_device;
}

void OVCommand::setDevice(std::shared_ptr<OrvaneUSBDevice> device) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_device = std::move(device);
}

std::shared_ptr<OVCommandDelegate> OVCommand::commandDelegate() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_delegate.lock();
}

void OVCommand::setCommandDelegate(const std::weak_ptr<OVCommandDelegate>& delegate) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_delegate = delegate;
}

QString OVCommand::description() const {
    const char* mangled = typeid(*this).name();
    int status = 0;
    char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    const QString name = QString::fromLatin1(status == 0 && demangled ? demangled : mangled);
    std::free(demangled);
    return QStringLiteral("<%1: 0x%2>").arg(name, QString::number(reinterpret_cast<quintptr>(this), 16));
}

void OVCommand::execute() {
    const QString serial = getSerial();
    m_receivedCallbackFromCommand.store(false);
    try {
        executeInternal();
    } catch (...) {
        OVLog("Unable to send command for device : %@. Error: %@", serial,
              OVException::describe(std::current_exception()));
        onCommandFailed();
    }
}

void OVCommand::callback(const std::shared_ptr<OrvaneUSBDevice>&, int status, const std::any&,
                         const QVariantMap&) {
    markCallbackReceived();
    if (status != 0) {
        OVLog("%@ command on device %@ failed! with status %i", this, getSerial(), status);
        onCommandFailed();
        return;
    }
    onCommandSucceed(std::any());
}

void OVCommand::onCommandSucceed(const std::any& result) {
    report(OVCommandStatusSuccess, result);
}

void OVCommand::onCommandFailed() {
    // A delegate that throws while handling the final report must not start the command again.
    if (m_finalReported.load())
        return;
    if (!allowRetry()) {
        report(OVCommandStatusFailed, std::any());
        return;
    }
    std::this_thread::sleep_for(retryPause());
    const QString serial = getSerial();
    const int current = currentNumberOfRetry();
    const int allowed = retryNumber();
    OVLog("%@ command on device %@ allow retry", this, serial);
    OVLog("%@ command on device %@ current retry number = %i", this, serial, current);
    OVLog("%@ command on device %@ allowed retry number = %i", this, serial, allowed);
    if (current >= allowed) {
        OVLog("Max retry for %@ command on device %@ reached. Will not retry. current retry [%i] = max retry "
              "[%i]",
              this, serial, current, allowed);
        report(OVCommandStatusFailed, std::any());
        return;
    }
    OVLog("Will retry %@ command on device %@ because current retry [%i] < max retry [%i]", this, serial,
          current, allowed);
    m_currentNumberOfRetry.fetch_add(1);
    execute();
}

void OVCommand::reportProgress(const std::any& value) {
    report(OVCommandStatusProgress, value);
}

void OVCommand::report(int status, const std::any& result) {
    // Exactly one final report: whatever ends the command second (a lost answer after a failure
    // report, say) finds it already ended. Progress the library still sends after the end (the
    // delegate threw on an earlier progress report) is not the delegate's any more.
    const bool ended =
        status == OVCommandStatusProgress ? m_finalReported.load() : m_finalReported.exchange(true);
    if (ended)
        return;
    const std::shared_ptr<OVCommandDelegate> delegate = commandDelegate();
    if (!delegate)
        return;
    delegate->onCommandExecuted(weak_from_this().lock(), device(), status, result);
}

void OVCommand::reportLostAnswer() {
    if (m_finalReported.load())
        return;
    OVLog("%@ callback was not called. Could be because the device is no longer plugged in", this);
    report(OVCommandStatusFailed, std::any());
}

void OVCommand::guarded(const std::function<void()>& work) {
    try {
        work();
    } catch (...) {
        const std::exception_ptr error = std::current_exception();
        OVLog("Exception in %@ callback for device %@: %@, Stack: %@", this, getSerial(),
              OVException::describe(error), OVException::callStackOf(error));
        try {
            onCommandFailed();
        } catch (...) {
            // The failure report itself threw: the command has ended all the same.
            OVLog("Exception in %@ callback for device %@: %@, Stack: %@", this, getSerial(),
                  OVException::describe(std::current_exception()),
                  OVException::callStackOf(std::current_exception()));
        }
    }
}

void OVCommand::finishSend(const std::shared_ptr<Attempt>& attempt, bool accepted, bool ignoreRefusal) {
    attempt->set(accepted || ignoreRefusal ? Attempt::Accepted : Attempt::Refused);
    if (accepted || ignoreRefusal)
        return;
    OVLog("%@ command failed for device : %@", this, getSerial());
    onCommandFailed();
}

void OVCommand::sendRequest(const Send& send, bool ignoreRefusal) {
    auto attempt = std::make_shared<Attempt>();
    // The ticket stays ours until the outcome of the sending is known: only then may its release
    // mean a lost answer.
    auto ticket = std::make_shared<Ticket>(shared_from_this(), attempt);
    OrvaneCommandCallback answer = [this, attempt](const std::shared_ptr<OrvaneUSBDevice>& device, int status,
                                                   const std::any& response, const QVariantMap& userInfo) {
        attempt->set(Attempt::Answered);
        guarded([&] { callback(device, status, response, userInfo); });
    };
    const bool accepted = send(ticket, std::move(answer));
    finishSend(attempt, accepted, ignoreRefusal);
}

void OVCommand::sendFirmware(const SendFirmware& send, bool ignoreRefusal) {
    auto attempt = std::make_shared<Attempt>();
    auto ticket = std::make_shared<FirmwareTicket>(shared_from_this(), attempt);
    const bool accepted = send(ticket);
    finishSend(attempt, accepted, ignoreRefusal);
}
