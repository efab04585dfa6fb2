#include "OVCommandFactory.h"

#include "OVCommandGetPage.h"
#include "OVCommandGetSessionList.h"

std::shared_ptr<OVCommandGetPage> OVCommandFactory::createGetPageCommand(quint64 pageNumber) {
    auto command = std::make_shared<OVCommandGetPage>();
    command->setPageNumber(pageNumber);
    return command;
}

std::shared_ptr<OVCommandGetSessionList> OVCommandFactory::createGetSessionListCommand(const OVDate& fromDate,
                                                                                       const OVDate& toDate) {
    auto command = std::make_shared<OVCommandGetSessionList>();
    command->setFromDate(fromDate);
    command->setToDate(toDate);
    return command;
}
