#pragma once

#include <QtGlobal>

/** Status numbers of device answers; 0 is success, any other value a failure. */
namespace OrvaneStatus {
constexpr qint32 Success = 0;
/** The device could not do it now (busy, or a generic failure). */
constexpr qint32 Failed = 1;
/** A request argument the device cannot use. */
constexpr qint32 InvalidArgument = 2;
/** A page address beyond the flash. */
constexpr qint32 PageOutOfRange = 3;
/** The flash did not return the page. */
constexpr qint32 ReadError = 4;
/** The battery gauge did not answer. */
constexpr qint32 BatteryGaugeError = 5;
/** The firmware image is malformed or fails its checksum. */
constexpr qint32 InvalidFirmwareImage = 6;
/** Writing the firmware failed part-way; the device keeps its old firmware. */
constexpr qint32 FirmwareWriteError = 7;
/** Set by the library itself: the device refused the request and ran nothing of it. */
constexpr qint32 Refused = 254;
/** Set by the library itself: the device's answer could not be read. */
constexpr qint32 MalformedAnswer = 255;
} // namespace OrvaneStatus
