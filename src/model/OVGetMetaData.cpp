#include "OVGetMetaData.h"

#include "OVLogFormat.h"

QString OVGetMetaData::description() const {
    return OVLogFormat::format("limit:%@, offset:%@, total:%@, next:%@", limit, offset, totalCount, next);
}
