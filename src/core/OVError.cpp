#include "OVError.h"

#include "OVLogFormat.h"

QString OVError::fullDescription() const {
    return OVLogFormat::format("Error Domain=%@ Code=%i \"%@\"", m_domain, m_code, m_description);
}

const QString& OVError::serviceDomain() {
    static const QString domain = QStringLiteral("com.pellwick.service");
    return domain;
}

const QString& OVError::networkDomain() {
    static const QString domain = QStringLiteral("QNetworkReply");
    return domain;
}

OVError OVError::unauthorized() {
    return OVError(serviceDomain(), kUnauthorizedCode, QStringLiteral("Unauthorized"));
}
