#pragma once

#include "OVDate.h"
#include "OVError.h"

#include <QByteArray>
#include <QString>

#include <optional>

/**
 * A property-list dictionary in Apple's binary format (version 1.0), on libplist. Owns its tree.
 *
 * Dates are kept exactly: a date is the double count of seconds since 2001-01-01 UTC, and the
 * conversion from and to OVDate (seconds since 1970) adds or removes the 978,307,200 seconds
 * between the two epochs, which is exact for every time a device records (1/256-second steps).
 * libplist's own date accessors round to microseconds, so dates go through a one-object list.
 *
 * Strings are UTF-8; the format's strings end at a NUL character, so text after one is not kept.
 * Serialization failures are reported in "NSCocoaErrorDomain" with the codes of a corrupt list
 * (3840) and of a list that cannot be written (3851).
 */
class OVPropertyList {
public:
    static const QString kCocoaErrorDomain;
    static constexpr int kReadCorruptError = 3840;
    static constexpr int kWriteInvalidError = 3851;
    /** Seconds from 1970-01-01 to 2001-01-01, both UTC. */
    static constexpr double kSecondsFrom1970To2001 = 978307200.0;

    /** An empty dictionary. */
    OVPropertyList();
    ~OVPropertyList();
    OVPropertyList(OVPropertyList&& other) noexcept;
    OVPropertyList& operator=(OVPropertyList&& other) noexcept;
    OVPropertyList(const OVPropertyList&) = delete;
    OVPropertyList& operator=(const OVPropertyList&) = delete;

    /** Parses a binary list whose root is a dictionary; anything else fails with code 3840. */
    static std::optional<OVPropertyList> fromBinary(const QByteArray& data, OVError* error);
    /** The binary form; an empty result with code 3851 when the tree cannot be written. */
    QByteArray toBinary(OVError* error) const;

    void setString(const char* key, const QString& value);
    void setInteger(const char* key, quint64 value);
    void setBool(const char* key, bool value);
    void setData(const char* key, const QByteArray& value);
    void setDate(const char* key, const OVDate& value);

    bool contains(const char* key) const;
    /**
     * Typed reads: absent (no error) when the key is missing, absent with code 3840 when the
     * value has another type.
     */
    std::optional<QString> string(const char* key, OVError* error) const;
    std::optional<quint64> integer(const char* key, OVError* error) const;
    std::optional<bool> boolean(const char* key, OVError* error) const;
    std::optional<QByteArray> data(const char* key, OVError* error) const;
    std::optional<OVDate> date(const char* key, OVError* error) const;

private:
    explicit OVPropertyList(void* root);
    void* typedItem(const char* key, int type, OVError* error) const;
    void setItem(const char* key, void* node);

    void* m_root = nullptr;
};
