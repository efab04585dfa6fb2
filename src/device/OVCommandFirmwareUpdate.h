#pragma once

#include "OVCommandCDC.h"

#include <QString>

/** Writes a firmware image to a data-mode device; reports progress (status 3) then the outcome. */
class OVCommandFirmwareUpdate : public OVCommandCDC {
public:
    QString firmwareFilePath() const;
    void setFirmwareFilePath(const QString& path);

    void executeInternal() override;

protected:
    void firmwareProgress(double level) override;
    void firmwareComplete(int status) override;

private:
    mutable std::mutex m_pathMutex;
    QString m_firmwareFilePath;
};
