#include "OVLogFormat.h"

#include <QByteArray>

#include <cstring>
#include <vector>

namespace {

bool isFlag(char c) {
    return c == '-' || c == '+' || c == ' ' || c == '#' || c == '0';
}

bool isLengthModifier(char c) {
    return c == 'h' || c == 'l' || c == 'q' || c == 'z' || c == 'j' || c == 't' || c == 'L';
}

QString padText(const QString& text, const QByteArray& flagsAndWidth) {
    const bool left = flagsAndWidth.contains('-');
    QByteArray digits;
    for (char c : flagsAndWidth)
        if (c >= '0' && c <= '9' && !(digits.isEmpty() && c == '0'))
            digits += c;
    const int width = digits.isEmpty() ? 0 : digits.toInt();
    if (text.size() >= width)
        return text;
    return left ? text.leftJustified(width) : text.rightJustified(width);
}

QString convert(char conversion, const QByteArray& specifier, const OVFormatArg* arg) {
    if (!arg)
        return QString();
    // the specifier holds flags, width and precision only; the length modifier is rebuilt for 64 bits.
    switch (conversion) {
    case '@':
    case 's':
        return padText(arg->text(), specifier);
    case 'd':
    case 'i':
        return QString::asprintf(("%" + specifier + "lld").constData(),
                                 static_cast<long long>(arg->toSigned()));
    case 'u':
    case 'x':
    case 'X':
    case 'o': {
        const QByteArray f = "%" + specifier + "ll" + conversion;
        return QString::asprintf(f.constData(), static_cast<unsigned long long>(arg->toUnsigned()));
    }
    case 'f':
    case 'F':
    case 'g':
    case 'G':
    case 'e':
    case 'E':
        return QString::asprintf(("%" + specifier + conversion).constData(), arg->toReal());
    case 'c':
        return QString(QChar(static_cast<char16_t>(arg->toUnsigned())));
    default:
        return QString();
    }
}

} // namespace

QString OVLogFormat::format(const char* format, std::initializer_list<OVFormatArg> args) {
    const std::vector<const OVFormatArg*> list = [&] {
        std::vector<const OVFormatArg*> v;
        for (const OVFormatArg& a : args)
            v.push_back(&a);
        return v;
    }();
    size_t next = 0;
    QByteArray literal;
    QString out;
    const size_t n = std::strlen(format);
    for (size_t i = 0; i < n; ++i) {
        if (format[i] != '%') {
            literal += format[i];
            continue;
        }
        if (i + 1 < n && format[i + 1] == '%') {
            literal += '%';
            ++i;
            continue;
        }
        out += QString::fromUtf8(literal);
        literal.clear();
        size_t j = i + 1;
        QByteArray specifier;
        while (j < n && isFlag(format[j]))
            specifier += format[j++];
        while (j < n && ((format[j] >= '0' && format[j] <= '9') || format[j] == '.'))
            specifier += format[j++];
        while (j < n && isLengthModifier(format[j]))
            ++j;
        if (j >= n)
            break;
        const OVFormatArg* arg = next < list.size() ? list[next++] : nullptr;
        out += convert(format[j], specifier, arg);
        i = j;
    }
    out += QString::fromUtf8(literal);
    return out;
}
