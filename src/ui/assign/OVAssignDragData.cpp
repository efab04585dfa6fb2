#include "OVAssignDragData.h"
#include <QDataStream>
#include <QIODevice>
#include <QMimeData>

QString OVAssignDragData::mimeType() {
    return QStringLiteral("application/x-ovservices-assign-user-rows");
}

QMimeData* OVAssignDragData::encodeRows(const QList<int>& rows) {
    QByteArray payload;
    QDataStream stream(&payload, QIODevice::WriteOnly);
    stream << rows;
    auto* data = new QMimeData;
    data->setData(mimeType(), payload);
    return data;
}

std::optional<QList<int>> OVAssignDragData::decodeRows(const QMimeData* data) {
    if (!data || !data->hasFormat(mimeType()))
        return std::nullopt;
    QDataStream stream(data->data(mimeType()));
    QList<int> rows;
    stream >> rows;
    if (stream.status() != QDataStream::Ok || rows.isEmpty())
        return std::nullopt;
    return rows;
}

bool OVAssignDragData::acceptsDrop(bool ontoRow, int deviceRow, int deviceCount, int userRow, int userCount) {
    return ontoRow && deviceRow >= 0 && deviceRow < deviceCount && userRow >= 0 && userRow < userCount;
}
