#pragma once

#include "OrvaneSDSessionInformation.h"

#include <QByteArray>

#include <memory>

/**
 * Checks a session's downloaded data against the CRC its device recorded. Set the session, then
 * feed every 512-byte page in order; each call answers the state so far. Not thread-safe: one
 * verification is fed by one thread.
 *
 * Answers of feedPage:
 *   0  NeedMorePages  page taken, the session has more pages
 *   1  Intact         the last page was fed and the data matches the session's CRC
 *  -1  CrcMismatch    the last page was fed and the data does not match
 *  -2  NoSession      no session was set
 *  -3  TooManyPages   more pages were fed than the session holds
 *  -4  BadPageSize    a page was not 512 bytes long
 * The failures other than CrcMismatch are sticky: every later call repeats them.
 */
class OrvaneSessionVerification {
public:
    enum Result : int {
        NeedMorePages = 0,
        Intact = 1,
        CrcMismatch = -1,
        NoSession = -2,
        TooManyPages = -3,
        BadPageSize = -4,
    };
    static constexpr int kPageSize = 512;

    /** Starts a new check of this session (none clears it). */
    void setSession(std::shared_ptr<const OrvaneSDSessionInformation> session);
    std::shared_ptr<const OrvaneSDSessionInformation> session() const { return m_session; }
    int feedPage(const QByteArray& page);
    /** The CRC-32 of a run of pages, as a device records it; start from crc32Initial(). */
    static quint32 crc32Update(quint32 crc, const QByteArray& bytes);
    static quint32 crc32Initial();

private:
    std::shared_ptr<const OrvaneSDSessionInformation> m_session;
    quint32 m_crc = 0;
    quint32 m_pagesFed = 0;
    int m_sticky = NeedMorePages;
};
