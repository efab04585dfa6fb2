#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

/**
 * One argument of a printf-style format with object placeholders ("%@"). It keeps the text an
 * object prints as, and the numeric value the numeric conversions (%i, %lu, %f, %02i, …) use.
 * Anything with a description() method (records, shared pointers to them) prints through it.
 */
class OVFormatArg {
public:
    enum class Kind { Text, Signed, Unsigned, Real };

    template <typename T>
    OVFormatArg(const T& value) // NOLINT(google-explicit-constructor): built from call arguments
    {
        assign(value);
    }

    Kind kind() const { return m_kind; }
    const QString& text() const { return m_text; }
    qint64 toSigned() const;
    quint64 toUnsigned() const;
    double toReal() const;

    static QString describeBytes(const QByteArray& bytes);
    static QString describeDate(const QDateTime& date);

private:
    template <typename T, typename = void> struct HasDescription : std::false_type {};
    template <typename T>
    struct HasDescription<T, std::void_t<decltype(std::declval<const T&>().description())>> : std::true_type {
    };

    template <typename T> struct IsOptional : std::false_type {};
    template <typename T> struct IsOptional<std::optional<T>> : std::true_type {};

    template <typename T> struct IsSmartPointer : std::false_type {};
    template <typename T> struct IsSmartPointer<std::shared_ptr<T>> : std::true_type {};
    template <typename T> struct IsSmartPointer<std::weak_ptr<T>> : std::false_type {};

    template <typename T> void assign(const T& value) {
        if constexpr (std::is_same_v<T, bool>) {
            setSigned(value ? 1 : 0);
        } else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>) {
            setSigned(static_cast<qint64>(value));
        } else if constexpr (std::is_integral_v<T>) {
            setUnsigned(static_cast<quint64>(value));
        } else if constexpr (std::is_enum_v<T>) {
            setSigned(static_cast<qint64>(value));
        } else if constexpr (std::is_floating_point_v<T>) {
            setReal(static_cast<double>(value));
        } else if constexpr (std::is_same_v<T, QString>) {
            m_text = value;
        } else if constexpr (std::is_same_v<T, QByteArray>) {
            m_text = describeBytes(value);
        } else if constexpr (std::is_same_v<T, QDateTime>) {
            m_text = describeDate(value);
        } else if constexpr (std::is_array_v<T> || std::is_same_v<T, const char*> ||
                             std::is_same_v<T, char*>) {
            m_text = QString::fromUtf8(value);
        } else if constexpr (IsOptional<T>::value) {
            if (value)
                assign(*value);
            else
                m_text = nullText();
        } else if constexpr (IsSmartPointer<T>::value || std::is_pointer_v<T>) {
            if (value)
                assign(*value);
            else
                m_text = nullText();
        } else if constexpr (HasDescription<T>::value) {
            m_text = value.description();
        } else {
            static_assert(HasDescription<T>::value, "OVFormatArg: this type has no text form");
        }
    }

    void setSigned(qint64 v);
    void setUnsigned(quint64 v);
    void setReal(double v);
    static QString nullText();

    Kind m_kind = Kind::Text;
    QString m_text;
    qint64 m_signed = 0;
    quint64 m_unsigned = 0;
    double m_real = 0.0;
};
