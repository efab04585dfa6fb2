#pragma once
#include <QList>
#include <QString>
#include <optional>

class QMimeData;

/**
 * What travels from the user table to the device table while a user is dragged: the dragged row
 * indexes under a type of our own, so that no other drag source can assign a user.
 */
class OVAssignDragData {
public:
    static QString mimeType();
    /** A new drag payload; the caller (or the drag) owns it. */
    static QMimeData* encodeRows(const QList<int>& rows);
    /** The dragged rows; absent when the payload is not ours or is malformed. */
    static std::optional<QList<int>> decodeRows(const QMimeData* data);
    /**
     * Whether a drop assigns: only onto a device row (never between rows), inside the device list,
     * with a dragged user inside the user list.
     */
    static bool acceptsDrop(bool ontoRow, int deviceRow, int deviceCount, int userRow, int userCount);
};
