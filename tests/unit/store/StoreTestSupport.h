#pragma once

#include "OVLogger.h"
#include "OVSession.h"

#include <QByteArray>
#include <QStringList>

#include <memory>
#include <mutex>

/** Collects the lines the logger delivers, for tests that check what was logged. */
class CapturedLog : public OVLogSink {
public:
    /** Turns logging on with this capture as the only sink; undone by detach(). */
    static std::shared_ptr<CapturedLog> attach() {
        auto log = std::make_shared<CapturedLog>();
        OVLogger::sharedInstance().removeAllSinks();
        OVLogger::sharedInstance().addSink(log);
        OVLogger::sharedInstance().turnLogOn();
        return log;
    }
    static void detach() {
        OVLogger::sharedInstance().flush();
        OVLogger::sharedInstance().turnLogOff();
        OVLogger::sharedInstance().removeAllSinks();
    }

    void write(const OVLogMessage& message) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.append(message.text);
    }
    /** Every line delivered so far (flushes first). */
    QStringList lines() const {
        OVLogger::sharedInstance().flush();
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }
    QStringList linesStartingWith(const QString& prefix) const {
        QStringList found;
        for (const QString& line : lines()) {
            if (line.startsWith(prefix))
                found.append(line);
        }
        return found;
    }
    void clear() {
        OVLogger::sharedInstance().flush();
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.clear();
    }

private:
    mutable std::mutex m_mutex;
    QStringList m_lines;
};

/** A date as text with every digit its double holds: QCOMPARE on doubles is fuzzy, names are not. */
inline QString exactSeconds(const OVDate& date) {
    return QString::number(date.secondsSince1970(), 'g', 17);
}

inline QString exactSeconds(double seconds) {
    return QString::number(seconds, 'g', 17);
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
