#include "OVError.h"

#include "OVLogFormat.h"

QString OVError::fullDescription() const {
    return OVLogFormat::format("Error Domain=%@ Code=%i \"%@\"", m_domain, m_code, m_description);
}
