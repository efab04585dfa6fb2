#pragma once

#include "OVCommandCDC.h"
#include "OVDate.h"
#include "OVSession.h"

#include <QList>

#include <memory>

/**
 * Reads the device's session list between two dates and turns it into OVSession records
 * (QList<std::shared_ptr<OVSession>>, possibly empty); corrupted records whose corruption status
 * is 0 and records without pages are left out.
 */
class OVCommandGetSessionList : public OVCommandCDC {
public:
    OVDate fromDate() const;
    void setFromDate(const OVDate& date);
    OVDate toDate() const;
    void setToDate(const OVDate& date);

    void executeInternal() override;
    void callback(const std::shared_ptr<OrvaneUSBDevice>& device, int status, const std::any& response,
                  const QVariantMap& userInfo) override;

private:
    mutable std::mutex m_datesMutex;
    OVDate m_fromDate;
    OVDate m_toDate;
};
