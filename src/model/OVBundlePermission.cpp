#include "OVBundlePermission.h"

#include "OVLogFormat.h"

QString OVBundlePermission::description() const {
    const std::optional<QString> allowed = user_allowed ? user_allowed->uri : std::nullopt;
    const std::optional<QString> target = user_target ? user_target->uri : std::nullopt;
    return OVLogFormat::format("uri:%@, allowed:%@, target:%@", uri, allowed, target);
}
