#pragma once

#include "OVLogger.h"
#include "OVSession.h"
#include "OVTestCapture.h"

#include <QByteArray>
#include <QJsonObject>
#include <QStringList>

#include <memory>
#include <mutex>

/** A date as text with every digit its double holds: QCOMPARE on doubles is fuzzy, names are not. */
inline QString exactSeconds(const OVDate& date) {
    return QString::number(date.secondsSince1970(), 'g', 17);
}

inline QString exactSeconds(double seconds) {
    return QString::number(seconds, 'g', 17);
}

/** Every field the store keeps, exactly (doubles compare exactly in JSON values). */
inline QJsonObject storedValues(const OVSession& s) {
    return QJsonObject{
        {QStringLiteral("start"), s.start().secondsSince1970()},
        {QStringLiteral("end"), s.end().secondsSince1970()},
        {QStringLiteral("startPage"), qint64(s.startPage())},
        {QStringLiteral("endPage"), qint64(s.endPage())},
        {QStringLiteral("userId"), qint64(s.userId())},
        {QStringLiteral("applicationId"), s.applicationId()},
        {QStringLiteral("pageCount"), qint64(s.pageCount())},
        {QStringLiteral("data"), QString::fromLatin1(s.data().toHex())},
        {QStringLiteral("softwareProtocol"), qint64(s.softwareProtocol())},
        {QStringLiteral("softwareUid"), s.softwareUid()},
        {QStringLiteral("deviceUid"), s.deviceUid()},
        {QStringLiteral("deviceSerial"), s.deviceSerial()},
        {QStringLiteral("firmwareRev"), s.firmwareRev()},
        {QStringLiteral("crcCorruption"), s.crcCorruption()},
        {QStringLiteral("alreadySynced"), s.alreadySynced()},
    };
}

/** A session as a device lists it, every persisted field set to something recognisable. */
inline std::shared_ptr<OVSession> makeStoreSession(const QString& serial, double start, quint64 startPage,
                                                   quint64 pageCount) {
    auto session = std::make_shared<OVSession>();
    session->setStart(OVDate::fromSecondsSince1970(start));
    session->setEnd(OVDate::fromSecondsSince1970(start + 3600.5));
    session->setStartPage(startPage);
    session->setEndPage(startPage + pageCount - 1);
    session->setPageCount(pageCount);
    session->setUserId(4242);
    session->setApplicationId(QStringLiteral("app-7"));
    QByteArray info(64, '\0');
    for (int i = 0; i < info.size(); ++i)
        info[i] = static_cast<char>(i * 7 + 1);
    session->setData(info);
    session->setSoftwareProtocol(0x01020304);
    session->setSoftwareUid(QStringLiteral("SW-0123456"));
    session->setDeviceUid(QStringLiteral("DEVICE-UID-ÄÖ-0001"));
    session->setDeviceSerial(serial);
    session->setFirmwareRev(QStringLiteral("1.2.3"));
    return session;
}
