#pragma once

#include "OVDate.h"

#include <QtGlobal>

/**
 * Device time: an unsigned count of 1/256-second units since 1970-01-01 00:00:00 UTC. Every time a
 * device stores or reports (session start and end, its clock) is in this unit.
 */

/** A date's device time; dates before 1970 give 0, fractions of a unit are dropped. */
quint64 orvaneTime(const OVDate& date);
/** The date of a device time; exact, as the unit is a power of two. */
OVDate dateWithOrvaneTime(quint64 orvaneTime);
