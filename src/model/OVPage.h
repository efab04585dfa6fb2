#pragma once

#include <QByteArray>
#include <QString>

/** One page of session data as a device returned it. Immutable once made; safe to share. */
class OVPage {
public:
    static constexpr int kPageSize = 512;

    OVPage(quint64 pageNumber, QByteArray data)
        : m_pageNumber(pageNumber)
        , m_data(std::move(data)) {}

    quint64 pageNumber() const { return m_pageNumber; }
    const QByteArray& data() const { return m_data; }
    /** "%@-%@": page number, then the bytes. */
    QString description() const;

private:
    quint64 m_pageNumber;
    QByteArray m_data;
};
