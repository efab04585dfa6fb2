#pragma once

#include "OVCommandCDC.h"

#include <atomic>

/** Reads one 512-byte page; succeeds with its bytes (QByteArray), whatever their number. */
class OVCommandGetPage : public OVCommandCDC {
public:
    quint64 pageNumber() const { return m_pageNumber.load(); }
    void setPageNumber(quint64 pageNumber) { m_pageNumber.store(pageNumber); }

    void executeInternal() override;
    void callback(const std::shared_ptr<OrvaneUSBDevice>& device, int status, const std::any& response,
                  const QVariantMap& userInfo) override;

private:
    std::atomic<quint64> m_pageNumber{0};
};
