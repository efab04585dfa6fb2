#include "OVBackgroundQueue.h"

OVOperationQueue& OVBackgroundQueue::shared() {
    static OVOperationQueue queue(QStringLiteral("com.orvane.bgQueue"), kWidth);
    return queue;
}
