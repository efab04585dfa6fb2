#include "OrvaneSessionVerification.h"

#include <zlib.h>

void OrvaneSessionVerification::setSession(std::shared_ptr<const OrvaneSDSessionInformation> session) {
    m_session = std::move(session);
    m_crc = crc32Initial();
    m_pagesFed = 0;
    m_sticky = NeedMorePages;
}

quint32 OrvaneSessionVerification::crc32Initial() {
    return static_cast<quint32>(crc32(0L, Z_NULL, 0));
}

quint32 OrvaneSessionVerification::crc32Update(quint32 crc, const QByteArray& bytes) {
    return static_cast<quint32>(
        crc32(crc, reinterpret_cast<const Bytef*>(bytes.constData()), static_cast<uInt>(bytes.size())));
}

int OrvaneSessionVerification::feedPage(const QByteArray& page) {
    if (!m_session)
        return NoSession;
    if (m_sticky != NeedMorePages)
        return m_sticky;
    if (page.size() != kPageSize) {
        m_sticky = BadPageSize;
        return m_sticky;
    }
    if (m_pagesFed >= m_session->pageCount) {
        m_sticky = TooManyPages;
        return m_sticky;
    }
    m_crc = crc32Update(m_crc, page);
    ++m_pagesFed;
    if (m_pagesFed < m_session->pageCount)
        return NeedMorePages;
    return m_crc == m_session->dataCRC ? Intact : CrcMismatch;
}
