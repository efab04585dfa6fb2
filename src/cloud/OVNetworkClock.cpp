#include "OVNetworkClock.h"

#include "OVConfiguration.h"
#include "OVLogger.h"
#include "OVOperationQueue.h"
#include "OVReplyLimits.h"

#include <QDateTime>
#include <QEventLoop>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimeZone>

#include <mutex>

namespace {
constexpr int kNetworkDateTimeoutMs = 60 * 1000;
// Every signed request waits for the date: a server answering its headers a byte at a time must not
// hold them all. The answer to a HEAD has no body to speak of.
constexpr int kNetworkDateDeadlineSeconds = 90;
constexpr qint64 kNetworkDateMaxAnswerBytes = 64 * 1024;

std::mutex& factoryMutex() {
    static std::mutex mutex;
    return mutex;
}

OVNetworkClock::NetworkAccessFactory& factory() {
    static OVNetworkClock::NetworkAccessFactory made;
    return made;
}

// Called under the lock: the factory is never changed, nor its owner closed, in the middle of a call.
std::unique_ptr<QNetworkAccessManager> makeNetworkAccess() {
    std::lock_guard<std::mutex> lock(factoryMutex());
    return factory() ? factory()() : std::make_unique<QNetworkAccessManager>();
}
} // namespace

void OVNetworkClock::setNetworkAccessFactory(NetworkAccessFactory made) {
    std::lock_guard<std::mutex> lock(factoryMutex());
    factory() = std::move(made);
}

// "EEE, dd MMM yyyy HH:mm:ss z" with "GMT" read as "+0000", in the POSIX locale: the zone must be a
// numeric offset once GMT is replaced, anything else does not parse.
std::optional<OVDate> OVNetworkClock::parseHttpDate(const QString& text) {
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

std::optional<OVDate> OVNetworkClock::getNetworkDate() {
    const QString url = OVConfiguration::networkTimeUrl();
    // First: it gives a thread Qt did not start the event dispatcher the timers below need.
    QEventLoop loop;
    const std::unique_ptr<QNetworkAccessManager> manager = makeNetworkAccess();
    if (!manager) {
        OVLog("Unable to get network date from url: %@ (the service is stopping)", url);
        return std::nullopt;
    }
    QNetworkRequest request{QUrl(url)};
    request.setTransferTimeout(kNetworkDateTimeoutMs);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    QNetworkReply* reply = manager->head(request);
    OVReplyLimits::watch(reply, kNetworkDateDeadlineSeconds, kNetworkDateMaxAnswerBytes);
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

void OVNetworkClock::getNetworkDateAsync(std::function<void(std::optional<OVDate>)> completion) {
    // Never destroyed: a request still waiting for its answer at exit must not hold the exit up.
    static OVOperationQueue* queue = new OVOperationQueue(QStringLiteral("com.pellwick.networkclock"), 4);
    queue->addOperationWithBlock([completion = std::move(completion)] { completion(getNetworkDate()); });
}
