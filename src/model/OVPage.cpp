#include "OVPage.h"

#include "OVLogFormat.h"

QString OVPage::description() const {
    return OVLogFormat::format("%@-%@", m_pageNumber, m_data);
}
