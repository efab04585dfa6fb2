#include "SimLinkModel.h"

QJsonObject SimLinkModel::toJson() const {
    return QJsonObject{{QStringLiteral("latency_us"), latencyUs},
                       {QStringLiteral("bandwidth"), bandwidth},
                       {QStringLiteral("restart_ms"), restartDelayMs},
                       {QStringLiteral("flash_block_us"), flashBlockUs}};
}

std::optional<SimLinkModel> SimLinkModel::fromJson(const QJsonObject& json, const SimLinkModel& base,
                                                   QString* error) {
    SimLinkModel link = base;
    const QString preset = json.value(QStringLiteral("preset")).toString();
    if (preset == QLatin1String("zero"))
        link = zeroDelay();
    else if (preset == QLatin1String("usb-fs"))
        link = fullSpeed();
    else if (!preset.isEmpty()) {
        if (error)
            *error = QStringLiteral("unknown link preset '%1' (zero or usb-fs)").arg(preset);
        return std::nullopt;
    }
    const struct {
        const char* key;
        qint64* field;
    } fields[] = {{"latency_us", &link.latencyUs},
                  {"bandwidth", &link.bandwidth},
                  {"restart_ms", &link.restartDelayMs},
                  {"flash_block_us", &link.flashBlockUs}};
    for (const auto& f : fields) {
        const QJsonValue v = json.value(QLatin1String(f.key));
        if (v.isUndefined())
            continue;
        const double d = v.toDouble(-1);
        if (!v.isDouble() || d < 0 || d > 1e12) {
            if (error)
                *error = QStringLiteral("%1 must be a number from 0 up").arg(QLatin1String(f.key));
            return std::nullopt;
        }
        *f.field = static_cast<qint64>(d);
    }
    return link;
}
