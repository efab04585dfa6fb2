#pragma once

/** Progress of the download of a device's sessions. */
enum OVDeviceFetchStatus : int {
    OVDeviceFetchStatusIdle = 0,
    OVDeviceFetchStatusFetching = 1,
    OVDeviceFetchStatusFetched = 2,
    OVDeviceFetchStatusFetchFailed = 3,
};
