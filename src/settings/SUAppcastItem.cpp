#include "SUAppcastItem.h"

#include "OVLogFormat.h"

QString SUAppcastItem::description() const {
    return OVLogFormat::format("%@ (%@)", displayVersionString, fileURL);
}
