#include "OVProfile.h"

#include "OVLogFormat.h"

QString OVProfile::description() const {
    return OVLogFormat::format("uri:%@, gender:%i", uri, gender);
}
