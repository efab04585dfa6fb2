#pragma once

/** State of a record on the web API. */
enum OVRecordStatus : int {
    OVRecordStatusComplete = 0,
    OVRecordStatusIncomplete = 1,
    OVRecordStatusDeleted = 2,
};
