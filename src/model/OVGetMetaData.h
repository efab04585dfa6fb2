#pragma once

#include <QString>

#include <optional>

/** Paging metadata of a list answer. A plain value. */
class OVGetMetaData {
public:
    std::optional<qint64> limit;
    /** The query of the next page; absent on the last page. */
    std::optional<QString> next;
    std::optional<qint64> offset;
    std::optional<QString> previous;
    std::optional<qint64> totalCount;

    /** "limit:%@, offset:%@, total:%@, next:%@". */
    QString description() const;
};
