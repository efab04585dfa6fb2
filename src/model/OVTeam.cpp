#include "OVTeam.h"

#include "OVLogFormat.h"

QString OVTeam::description() const {
    return OVLogFormat::format("name:%@, members:%i", name, members.size());
}
