#pragma once

#include "SimDeviceHub.h"

#include <QByteArray>
#include <QJsonObject>

#include <functional>

/**
 * The daemon's control requests (what the CLI sends): a JSON object {"cmd": NAME, ...arguments}
 * answered by {"ok": true, ...} or {"ok": false, "error": TEXT}. Commands and their arguments are
 * listed in docs/devsim.md. Never throws; any malformed request gets an error answer.
 */
class SimControl {
public:
    /** data receives the raw bytes of a dump, in chunks; it answers false when the reader is gone. */
    static QJsonObject handle(SimDeviceHub& hub, const QByteArray& request,
                              const std::function<bool(const QByteArray&)>& data);
};
