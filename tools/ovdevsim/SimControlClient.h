#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <functional>
#include <optional>

/** Sends one control request to the daemon and reads its reply (what each CLI command does). */
class SimControlClient {
public:
    /** waitSeconds: keep trying to reach a daemon that is not up yet for that long. */
    explicit SimControlClient(QString socketPath, double waitSeconds = 0);
    /** The daemon's reply; nothing with *error set when the daemon cannot be reached or answers garbage. */
    std::optional<QJsonObject> call(const QJsonObject& request, QString* error,
                                    const std::function<void(const QByteArray&)>& data = {});

private:
    const QString m_socketPath;
    const double m_waitSeconds;
};
