#pragma once

/** Where a session stands in its store-then-upload life; one field for both. */
enum OVSessionSyncStatus : int {
    OVSessionSyncStatusNone = 0,
    OVSessionSyncStatusReadyToSync = 1,
    OVSessionSyncStatusSyncStarted = 2,
    OVSessionSyncStatusSyncing = 3,
    OVSessionSyncStatusSynced = 4,
    OVSessionSyncStatusSyncFailed = 5,
    OVSessionSyncStatusSyncCancelled = 6,
    OVSessionSyncStatusStoringFailed = 7,
    OVSessionSyncStatusStoring = 8,
    OVSessionSyncStatusStored = 9,
    OVSessionSyncStatusStoringCancelled = 10,
    OVSessionSyncStatusCrcChecking = 11,
};
