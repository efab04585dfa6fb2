#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

/** The requests a device understands. The numbers travel on the wire; never renumber them. */
enum class OrvaneOp : quint8 {
    Battery = 1,
    Page = 2,
    SessionList = 3,
    Erase = 4,
    Identify = 5,
    Reset = 6,
    SetRTC = 7,
    SetDefaultUser = 8,
    GetDefaultUser = 9,
    Flash = 10,
};

/** One request to one attached device. */
struct OrvaneRequest {
    quint64 id = 0;
    /** The attachment the request goes to (see OrvaneDeviceDescriptor::handle). */
    quint32 handle = 0;
    OrvaneOp op = OrvaneOp::Battery;
    /** Page number, "from" device time, clock device time or user id, by op. */
    quint64 arg1 = 0;
    /** "to" device time of a session list. */
    quint64 arg2 = 0;
    /** The firmware image of a flash request. */
    QByteArray blob;
    /** The connection the handle belongs to (see OrvaneDeviceDescriptor::generation); not on the wire. */
    quint64 generation = 0;
};

/** The final answer to a request: a device status (OrvaneStatus) and the op's payload. */
struct OrvaneAnswer {
    quint64 id = 0;
    qint32 status = 0;
    QByteArray payload;
};

/**
 * One device as the transport sees it. A handle names one attachment within one generation: a
 * device that restarts or is replugged comes back under a new handle, as a USB device is
 * enumerated anew. An emulator numbers its handles from 1 every time it starts, so the transport
 * stamps each connection with a new generation; (generation, handle) is never reused.
 */
struct OrvaneDeviceDescriptor {
    quint32 handle = 0;
    quint32 locationID = 0;
    /** True in recovery (HID) mode; such a device only takes firmware writes. */
    bool recovery = false;
    QString serial;
    QString model;
    QString hwRevision;
    QString fwRevision;
    /** Set by the transport, not on the wire. */
    quint64 generation = 0;

    bool operator==(const OrvaneDeviceDescriptor& o) const {
        return handle == o.handle && generation == o.generation && locationID == o.locationID &&
               recovery == o.recovery && serial == o.serial && model == o.model &&
               hwRevision == o.hwRevision && fwRevision == o.fwRevision;
    }
};

/** What a transport reports, on its own threads; implementations must not block for long. */
class OrvaneTransportListener {
public:
    virtual ~OrvaneTransportListener() = default;
    /** The complete list of attached devices, after every change (and once at start). */
    virtual void transportDeviceListChanged(const QList<OrvaneDeviceDescriptor>& devices) = 0;
    virtual void transportAnswer(const OrvaneAnswer& answer) = 0;
    /** Progress of a firmware write, 0 to 100; any number of times before the answer. */
    virtual void transportProgress(quint64 requestId, double level) = 0;
};

/**
 * The path between the library and the devices: the socket client of the emulator daemon by
 * default, or an emulator in the same process for tests. Thread-safe.
 */
class OrvaneTransport {
public:
    virtual ~OrvaneTransport() = default;
    /** Starts reporting to listener (not owned; it must outlive stop()). */
    virtual void start(OrvaneTransportListener* listener) = 0;
    /** After stop() returns the listener is called no more. Idempotent. */
    virtual void stop() = 0;
    /**
     * Hands the request to its device without waiting for the device: false only when it could
     * not be handed over (no connection, or a handle of another generation), and then the device
     * never sees it. A request handed over is answered once through the listener (a device that
     * refuses it answers OrvaneStatus::Refused, having run nothing), unless its device goes away
     * first: then it is never answered.
     */
    virtual bool send(const OrvaneRequest& request) = 0;
};
