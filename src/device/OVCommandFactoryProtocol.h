#pragma once

#include "OVDate.h"

#include <memory>

class OVCommandGetPage;
class OVCommandGetSessionList;

/**
 * Makes the commands the session storers send. The caller sets device, delegate and retry policy
 * and calls execute(). Thread-safe.
 */
class OVCommandFactoryProtocol {
public:
    virtual ~OVCommandFactoryProtocol() = default;
    virtual std::shared_ptr<OVCommandGetPage> createGetPageCommand(quint64 pageNumber) = 0;
    virtual std::shared_ptr<OVCommandGetSessionList> createGetSessionListCommand(const OVDate& fromDate,
                                                                                 const OVDate& toDate) = 0;
};
