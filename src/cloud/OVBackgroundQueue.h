#pragma once

#include "OVOperationQueue.h"

/**
 * The process's concurrent background queue "com.orvane.bgQueue": reconciliations and stored-device
 * rebuilds run there, several at a time. Work queued here must not wait for other work of this queue.
 */
class OVBackgroundQueue {
public:
    static constexpr int kWidth = 4;
    static OVOperationQueue& shared();
};
