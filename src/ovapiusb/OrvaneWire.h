#pragma once

#include "OrvaneTransport.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

/**
 * The byte encoding shared by the library and the emulator: little-endian integers, texts as a
 * 16-bit length and UTF-8 bytes, and the framed messages of the daemon socket (docs/devsim.md).
 * Every decoder checks bounds and answers nothing (or false) on malformed input; none throws.
 */
class OrvaneWire {
public:
    /** Appends little-endian fields to a byte array. */
    class Writer {
    public:
        void u8(quint8 v) { m_bytes.append(static_cast<char>(v)); }
        void u16(quint16 v);
        void u32(quint32 v);
        void i32(qint32 v) { u32(static_cast<quint32>(v)); }
        void u64(quint64 v);
        void f64(double v);
        /** 16-bit length, then the UTF-8 bytes (cut at 65535 bytes). */
        void text(const QString& v);
        /** 32-bit length, then the bytes. */
        void blob(const QByteArray& v);
        void raw(const QByteArray& v) { m_bytes.append(v); }
        const QByteArray& bytes() const { return m_bytes; }
        QByteArray take() { return std::move(m_bytes); }

    private:
        QByteArray m_bytes;
    };

    /** Reads little-endian fields; a read past the end fails and leaves the reader failed. */
    class Reader {
    public:
        explicit Reader(const QByteArray& bytes, qsizetype offset = 0)
            : m_bytes(bytes)
            , m_pos(offset) {}
        bool u8(quint8& v);
        bool u16(quint16& v);
        bool u32(quint32& v);
        bool i32(qint32& v);
        bool u64(quint64& v);
        bool f64(double& v);
        bool text(QString& v);
        /** A 32-bit length and that many bytes, at most maxSize. */
        bool blob(QByteArray& v, quint32 maxSize);
        bool raw(QByteArray& v, qsizetype size);
        bool atEnd() const { return m_ok && m_pos == m_bytes.size(); }
        bool ok() const { return m_ok; }

    private:
        bool take(void* out, qsizetype size);
        const QByteArray m_bytes; // implicitly shared: a reader of a temporary stays valid
        qsizetype m_pos;
        bool m_ok = true;
    };

    /** Message types of the daemon socket. */
    enum class Frame : quint8 {
        Hello = 1,
        Devices = 2,
        Request = 3,
        Ack = 4,
        Answer = 5,
        Progress = 6,
        Control = 7,
        ControlReply = 8,
        ControlData = 9,
        Error = 10,
    };

    static constexpr quint32 kProtocolVersion = 1;
    /** Frame header: 32-bit body length, then the type byte (counted in the length). */
    static constexpr int kHeaderSize = 4;
    /** Largest frame body either side accepts; a longer announced frame is a protocol error. */
    static constexpr quint32 kMaxFrameSize = 8 * 1024 * 1024;
    /** Largest firmware image a flash request carries. */
    static constexpr quint32 kMaxFirmwareSize = 4 * 1024 * 1024;

    /** A complete frame: length, type, body. */
    static QByteArray frame(Frame type, const QByteArray& body);

    static QByteArray encodeRequest(const OrvaneRequest& request);
    static std::optional<OrvaneRequest> decodeRequest(const QByteArray& body);
    static QByteArray encodeAnswer(const OrvaneAnswer& answer);
    static std::optional<OrvaneAnswer> decodeAnswer(const QByteArray& body);
    static QByteArray encodeDevices(const QList<OrvaneDeviceDescriptor>& devices);
    static std::optional<QList<OrvaneDeviceDescriptor>> decodeDevices(const QByteArray& body);

    /** Answer payloads. */
    static QByteArray encodeBattery(qint32 level);
    static std::optional<qint32> decodeBattery(const QByteArray& payload);
    static QByteArray encodeUserId(quint32 userId);
    static std::optional<quint32> decodeUserId(const QByteArray& payload);
};
