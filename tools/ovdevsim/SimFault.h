#pragma once

#include "OrvaneTransport.h"

#include <QJsonObject>
#include <QString>

#include <optional>

/**
 * One injected failure of an emulated device. Each fires `remaining` more times (-1: always) and
 * is dropped when used up; faults live as long as the daemon, not in the device's saved state.
 */
struct SimFault {
    enum class Kind {
        /** Reads of `page` answer status 4 (read error). */
        FailPage,
        /** Requests (of `op`, or all) are refused at once. */
        Refuse,
        /** Requests (of `op`, or all) are accepted and never answered. */
        NoAnswer,
        /** Reads of `page` return the page with bytes flipped: its session then fails the CRC. */
        CorruptPage,
        /** Battery queries answer status 5. */
        FailBattery,
        /** Firmware writes fail with status 7 once `percent` percent are written. */
        FailFirmware,
        /** After `pagesBeforeUnplug` more page reads are answered, the device is unplugged. */
        UnplugAfterPages,
        /** Reads of `page` return `size` bytes (cut short, or padded with zeros). */
        ResizePage,
    };

    Kind kind = Kind::FailPage;
    /** The page address of the page kinds. */
    quint32 page = 0;
    int remaining = -1;
    std::optional<OrvaneOp> op;
    /** The size of a resized page. */
    quint32 size = 0;
    /** How much of a firmware write goes through before it fails. */
    quint32 percent = 50;
    /** Page reads still answered before the unplug; counts down. */
    quint32 pagesBeforeUnplug = 0;

    static SimFault failFirmwareAt(quint32 percent, int times);
    static SimFault unplugAfterPages(quint32 pages, int times);

    QJsonObject toJson() const;
    static std::optional<SimFault> fromJson(const QJsonObject& json, QString* error);
    static QString kindName(Kind kind);
    static std::optional<OrvaneOp> opFromName(const QString& name);
    static QString opName(OrvaneOp op);
    /** True when this fault applies to a request of op (for Refuse and NoAnswer). */
    bool matches(OrvaneOp requestOp) const { return !op || *op == requestOp; }
};
