#pragma once

#include <QDateTime>
#include <QString>

/**
 * A point in time as a double count of seconds since 1970-01-01 00:00:00 UTC. Session identity
 * compares these exactly, and the store and the web API derive names and 1/256-second units from
 * them, so no precision is lost to a millisecond clock on the way.
 */
class OVDate {
public:
    OVDate() = default;
    static OVDate fromSecondsSince1970(double seconds) { return OVDate(seconds); }
    static OVDate fromDateTime(const QDateTime& dateTime);
    static OVDate now();

    double secondsSince1970() const { return m_seconds; }
    QDateTime toDateTime() const;
    double timeIntervalSince(const OVDate& other) const { return m_seconds - other.m_seconds; }
    OVDate addingSeconds(double seconds) const { return OVDate(m_seconds + seconds); }
    /** "yyyy-MM-dd HH:mm:ss +0000", the form a date prints in log lines. */
    QString description() const;

    bool operator==(const OVDate& o) const { return m_seconds == o.m_seconds; }
    bool operator!=(const OVDate& o) const { return m_seconds != o.m_seconds; }
    bool operator<(const OVDate& o) const { return m_seconds < o.m_seconds; }
    bool operator>(const OVDate& o) const { return m_seconds > o.m_seconds; }
    bool operator<=(const OVDate& o) const { return m_seconds <= o.m_seconds; }
    bool operator>=(const OVDate& o) const { return m_seconds >= o.m_seconds; }

private:
    explicit OVDate(double seconds)
        : m_seconds(seconds) {}
    double m_seconds = 0.0;
};
