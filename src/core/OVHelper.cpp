#include "OVHelper.h"

#include "OVLogger.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocale>

#include <mutex>

namespace {
std::mutex g_resourcesMutex;
QString g_resourcesDirectory;
} // namespace

QString OVHelper::getApplicationVersion() {
    return QStringLiteral(OV_APPLICATION_VERSION);
}

QString OVHelper::formattedStringForDuration(double seconds) {
    const qint64 whole = seconds > 0 ? static_cast<qint64>(seconds) : 0;
    return OVLogFormat::format("%02i:%02i:%02i", whole / 3600, (whole / 60) % 60, whole % 60);
}

OVError OVHelper::createError(const QString& description, int code, const QString& domain) {
    return OVError(domain, code, description);
}

// The macOS-only behaviours it guards (a firmware lock, a pause between pages) are not wanted on
// Linux, so the answer is always no.
bool OVHelper::isOSXGreatherThan1011() {
    return false;
}

QString OVHelper::getFirmwareFilePath() {
    const QDir directory(resourcesDirectory());
    const QStringList images =
        directory.entryList({QStringLiteral("*.hff")}, QDir::Files | QDir::Readable, QDir::Name);
    return images.isEmpty() ? QString() : directory.filePath(images.first());
}

QString OVHelper::resourcesDirectory() {
    {
        std::lock_guard<std::mutex> lock(g_resourcesMutex);
        if (!g_resourcesDirectory.isEmpty())
            return g_resourcesDirectory;
    }
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("resources"));
}

void OVHelper::setResourcesDirectory(const QString& directory) {
    std::lock_guard<std::mutex> lock(g_resourcesMutex);
    g_resourcesDirectory = directory;
}

std::optional<double> OVHelper::getFirmwareVersionFromString(const QString& text) {
    bool ok = false;
    const double version = QLocale().toDouble(text.trimmed(), &ok);
    return ok ? std::optional<double>(version) : std::nullopt;
}

QString OVHelper::getSerialForHID(quint32 locationID) {
    return OVLogFormat::format("0x%X", locationID);
}

QString OVHelper::getDeviceURIFromSerial(const QString& serial) {
    return OVLogFormat::format("/api/device/%@/", serial);
}

QString OVHelper::getUserURIFromId(quint64 userId) {
    return OVLogFormat::format("/api/user/%@/", userId);
}

double OVHelper::convertDateToOrvatimestamp(const OVDate& date) {
    return date.secondsSince1970() * 256.0;
}

OVDate OVHelper::convertOrvatimestampToDate(double orvatimestamp) {
    return OVDate::fromSecondsSince1970(orvatimestamp * 0.00390625);
}
