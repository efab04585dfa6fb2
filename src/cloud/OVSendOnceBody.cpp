#include "OVSendOnceBody.h"

#include <algorithm>
#include <cstring>

OVSendOnceBody::OVSendOnceBody(QByteArray data, QObject* parent)
    : QIODevice(parent)
    , m_data(std::move(data)) {
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

bool OVSendOnceBody::seek(qint64 pos) {
    if (pos < m_furthest || pos > m_data.size() || !QIODevice::seek(pos))
        return false;
    m_position = pos;
    return true;
}

qint64 OVSendOnceBody::readData(char* data, qint64 maxSize) {
    const qint64 count = std::min(maxSize, qint64(m_data.size()) - m_position);
    if (count <= 0)
        return 0;
    std::memcpy(data, m_data.constData() + m_position, size_t(count));
    m_position += count;
    m_furthest = std::max(m_furthest, m_position);
    return count;
}
