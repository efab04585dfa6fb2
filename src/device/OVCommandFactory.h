#pragma once

#include "OVCommandFactoryProtocol.h"

/** The factory of real commands. */
class OVCommandFactory : public OVCommandFactoryProtocol {
public:
    std::shared_ptr<OVCommandGetPage> createGetPageCommand(quint64 pageNumber) override;
    std::shared_ptr<OVCommandGetSessionList> createGetSessionListCommand(const OVDate& fromDate,
                                                                         const OVDate& toDate) override;
};
