#include "OVFormatArg.h"

#include <QTimeZone>

qint64 OVFormatArg::toSigned() const {
    switch (m_kind) {
    case Kind::Signed:
        return m_signed;
    case Kind::Unsigned:
        return static_cast<qint64>(m_unsigned);
    case Kind::Real:
        return static_cast<qint64>(m_real);
    case Kind::Text:
        break;
    }
    return m_text.toLongLong();
}

quint64 OVFormatArg::toUnsigned() const {
    switch (m_kind) {
    case Kind::Signed:
        return static_cast<quint64>(m_signed);
    case Kind::Unsigned:
        return m_unsigned;
    case Kind::Real:
        return static_cast<quint64>(m_real);
    case Kind::Text:
        break;
    }
    return m_text.toULongLong();
}

double OVFormatArg::toReal() const {
    switch (m_kind) {
    case Kind::Signed:
        return static_cast<double>(m_signed);
    case Kind::Unsigned:
        return static_cast<double>(m_unsigned);
    case Kind::Real:
        return m_real;
    case Kind::Text:
        break;
    }
    return m_text.toDouble();
}

void OVFormatArg::setSigned(qint64 v) {
    m_kind = Kind::Signed;
    m_signed = v;
    m_text = QString::number(v);
}

void OVFormatArg::setUnsigned(quint64 v) {
    m_kind = Kind::Unsigned;
    m_unsigned = v;
    m_text = QString::number(v);
}

void OVFormatArg::setReal(double v) {
    m_kind = Kind::Real;
    m_real = v;
    m_text = QString::number(v, 'g', 15);
}

QString OVFormatArg::nullText() {
    return QStringLiteral("(null)");
}

// Byte strings print as hexadecimal in groups of four bytes, "<0a0b0c0d 0e0f>", so a page or a
// session block in a log line can be compared byte for byte with a dump.
QString OVFormatArg::describeBytes(const QByteArray& bytes) {
    QString out;
    out.reserve(bytes.size() * 2 + bytes.size() / 4 + 2);
    out += QLatin1Char('<');
    const QByteArray hex = bytes.toHex();
    for (qsizetype i = 0; i < hex.size(); i += 8) {
        if (i > 0)
            out += QLatin1Char(' ');
        out += QString::fromLatin1(hex.mid(i, 8));
    }
    out += QLatin1Char('>');
    return out;
}

QString OVFormatArg::describeDate(const QDateTime& date) {
    if (!date.isValid())
        return nullText();
    return date.toTimeZone(QTimeZone::utc()).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
           QStringLiteral(" +0000");
}
