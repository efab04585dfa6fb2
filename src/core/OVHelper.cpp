#include "OVHelper.h"

#include "OVConfiguration.h"
#include "OVLogger.h"
#include "OVOperationQueue.h"
#include "OVReplyLimits.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimeZone>

#include <atomic>
#include <cmath>
#include <mutex>

namespace {
std::atomic<int> g_pretendedMajor{0};
std::atomic<int> g_pretendedMinor{0};
constexpr int kNetworkDateTimeoutMs = 60 * 1000;
// Every signed request waits for the date: a server answering its headers a byte at a time must not
// hold them all. The answer to a HEAD has no body to speak of.
constexpr int kNetworkDateDeadlineSeconds = 90;
constexpr qint64 kNetworkDateMaxAnswerBytes = 64 * 1024;
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

bool OVHelper::isOSXGreatherThan1011() {
    const int major = g_pretendedMajor.load();
    const int minor = g_pretendedMinor.load();
    return major > 10 || (major == 10 && minor >= 11);
}

void OVHelper::setPretendedOSXVersion(int major, int minor) {
    g_pretendedMajor.store(major);
    g_pretendedMinor.store(minor);
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

// "EEE, dd MMM yyyy HH:mm:ss z" with "GMT" read as "+0000", in the POSIX locale: the zone must be a
// numeric offset once GMT is replaced, anything else does not parse.
std::optional<OVDate> OVHelper::parseHttpDate(const QString& text) {
    QString value = text.trimmed();
    value.replace(QStringLiteral("GMT"), QStringLiteral("+0000"));
    const qsizetype space = value.lastIndexOf(QLatin1Char(' '));
    if (space < 0)
        return std::nullopt;
    const QString zone = value.mid(space + 1);
    if (zone.size() != 5 || (zone.at(0) != QLatin1Char('+') && zone.at(0) != QLatin1Char('-')))
        return std::nullopt;
    bool okHours = false;
    bool okMinutes = false;
    const int hours = zone.mid(1, 2).toInt(&okHours);
    const int minutes = zone.mid(3, 2).toInt(&okMinutes);
    if (!okHours || !okMinutes)
        return std::nullopt;
    const int offset = (zone.at(0) == QLatin1Char('-') ? -1 : 1) * (hours * 3600 + minutes * 60);
    QDateTime parsed =
        QLocale::c().toDateTime(value.left(space), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss"));
    if (!parsed.isValid())
        return std::nullopt;
    parsed.setTimeZone(QTimeZone(offset));
    return OVDate::fromDateTime(parsed);
}

std::optional<OVDate> OVHelper::getNetworkDate() {
    const QString url = OVConfiguration::networkTimeUrl();
    QNetworkAccessManager manager;
    QNetworkRequest request{QUrl(url)};
    request.setTransferTimeout(kNetworkDateTimeoutMs);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    QNetworkReply* reply = manager.head(request);
    OVReplyLimits::watch(reply, kNetworkDateDeadlineSeconds, kNetworkDateMaxAnswerBytes);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    reply->deleteLater();
    // A status answer of any kind still carries the server's clock; only a failed exchange has none.
    if (OVReplyLimits::exceeded(reply) ||
        (reply->error() != QNetworkReply::NoError &&
         !reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())) {
        OVLog("Unable to get network date from url: %@", url);
        return std::nullopt;
    }
    if (!reply->hasRawHeader("Date")) {
        OVLog("NO Clock value returned by URL %@", url);
        return std::nullopt;
    }
    const QString header = QString::fromLatin1(reply->rawHeader("Date"));
    const std::optional<OVDate> date = parseHttpDate(header);
    OVLog("Clock value returned by URL : %@ (%@)", header, url);
    OVLog("Epoch Clock value returned by URL : %f (%@)", date ? date->secondsSince1970() : 0.0, url);
    return date;
}

void OVHelper::getNetworkDateAsync(std::function<void(std::optional<OVDate>)> completion) {
    // Never destroyed: a request still waiting for its answer at exit must not hold the exit up.
    static OVOperationQueue* queue = new OVOperationQueue(QStringLiteral("com.pellwick.networkclock"), 4);
    queue->addOperationWithBlock([completion = std::move(completion)] { completion(getNetworkDate()); });
}
