#include "OVUser.h"

#include "OVLogFormat.h"

QString OVUser::description() const {
    return OVLogFormat::format("id:%@, username:%@, uri:%@", identifier, username, uri);
}
