#include "OVPropertyList.h"

#include <QtEndian>

#include <plist/plist.h>

#include <cstring>
#include <limits>

const QString OVPropertyList::kCocoaErrorDomain = QStringLiteral("NSCocoaErrorDomain");

namespace {

// "bplist00", a date object (marker 0x33, big-endian double), a one-entry offset table and the
// 32-byte trailer (offset size 1, reference size 1, one object, top object 0, table at 17).
constexpr int kDateObjectOffset = 8;
constexpr int kOneDateListSize = 8 + 9 + 1 + 32;
constexpr unsigned char kDateMarker = 0x33;

QByteArray oneDateList(double secondsSince2001) {
    QByteArray bytes(kOneDateListSize, '\0');
    std::memcpy(bytes.data(), "bplist00", 8);
    bytes[kDateObjectOffset] = static_cast<char>(kDateMarker);
    quint64 bits = 0;
    std::memcpy(&bits, &secondsSince2001, sizeof bits);
    qToBigEndian(bits, bytes.data() + kDateObjectOffset + 1);
    bytes[17] = static_cast<char>(kDateObjectOffset);
    char* trailer = bytes.data() + 18;
    trailer[6] = 1;
    trailer[7] = 1;
    trailer[15] = 1;
    trailer[31] = 17;
    return bytes;
}

OVError corruptError(const QString& what) {
    return OVError(
        OVPropertyList::kCocoaErrorDomain, OVPropertyList::kReadCorruptError,
        QStringLiteral("The data couldn't be read because it isn't in the correct format. (%1)").arg(what));
}

QString typeName(plist_type type) {
    switch (type) {
    case PLIST_BOOLEAN:
        return QStringLiteral("boolean");
    case PLIST_UINT:
        return QStringLiteral("integer");
    case PLIST_REAL:
        return QStringLiteral("real");
    case PLIST_STRING:
        return QStringLiteral("string");
    case PLIST_ARRAY:
        return QStringLiteral("array");
    case PLIST_DICT:
        return QStringLiteral("dictionary");
    case PLIST_DATE:
        return QStringLiteral("date");
    case PLIST_DATA:
        return QStringLiteral("data");
    default:
        return QStringLiteral("other");
    }
}

} // namespace

OVPropertyList::OVPropertyList()
    : m_root(plist_new_dict()) {}

OVPropertyList::OVPropertyList(void* root)
    : m_root(root) {}

OVPropertyList::~OVPropertyList() {
    if (m_root)
        plist_free(static_cast<plist_t>(m_root));
}

OVPropertyList::OVPropertyList(OVPropertyList&& other) noexcept
    : m_root(other.m_root) {
    other.m_root = nullptr;
}

OVPropertyList& OVPropertyList::operator=(OVPropertyList&& other) noexcept {
    if (this != &other) {
        if (m_root)
            plist_free(static_cast<plist_t>(m_root));
        m_root = other.m_root;
        other.m_root = nullptr;
    }
    return *this;
}

std::optional<OVPropertyList> OVPropertyList::fromBinary(const QByteArray& data, OVError* error) {
    if (data.size() < 8 || !data.startsWith("bplist00")) {
        OVError::set(error, corruptError(QStringLiteral("not a binary property list")));
        return std::nullopt;
    }
    if (data.size() > std::numeric_limits<int32_t>::max()) {
        OVError::set(error, corruptError(QStringLiteral("too large")));
        return std::nullopt;
    }
    plist_t root = nullptr;
    plist_from_bin(data.constData(), static_cast<uint32_t>(data.size()), &root);
    if (!root) {
        OVError::set(error, corruptError(QStringLiteral("malformed binary property list")));
        return std::nullopt;
    }
    if (plist_get_node_type(root) != PLIST_DICT) {
        const QString type = typeName(plist_get_node_type(root));
        plist_free(root);
        OVError::set(error, corruptError(QStringLiteral("the root is a %1, not a dictionary").arg(type)));
        return std::nullopt;
    }
    return OVPropertyList(root);
}

QByteArray OVPropertyList::toBinary(OVError* error) const {
    char* bytes = nullptr;
    uint32_t length = 0;
    if (m_root)
        plist_to_bin(static_cast<plist_t>(m_root), &bytes, &length);
    if (!bytes || length == 0) {
        if (bytes)
            plist_to_bin_free(bytes);
        OVError::set(
            error,
            OVError(kCocoaErrorDomain, kWriteInvalidError,
                    QStringLiteral("The data couldn't be written because it isn't in the correct format.")));
        return QByteArray();
    }
    QByteArray result(bytes, static_cast<qsizetype>(length));
    plist_to_bin_free(bytes);
    return result;
}

void OVPropertyList::setItem(const char* key, void* node) {
    if (!m_root) {
        plist_free(static_cast<plist_t>(node));
        return;
    }
    plist_dict_set_item(static_cast<plist_t>(m_root), key, static_cast<plist_t>(node));
}

void OVPropertyList::setString(const char* key, const QString& value) {
    setItem(key, plist_new_string(value.toUtf8().constData()));
}

void OVPropertyList::setInteger(const char* key, quint64 value) {
    setItem(key, plist_new_uint(value));
}

void OVPropertyList::setBool(const char* key, bool value) {
    setItem(key, plist_new_bool(value ? 1 : 0));
}

void OVPropertyList::setData(const char* key, const QByteArray& value) {
    setItem(key, plist_new_data(value.constData(), static_cast<uint64_t>(value.size())));
}

void OVPropertyList::setDate(const char* key, const OVDate& value) {
    const QByteArray list = oneDateList(value.secondsSince1970() - kSecondsFrom1970To2001);
    plist_t node = nullptr;
    plist_from_bin(list.constData(), static_cast<uint32_t>(list.size()), &node);
    if (node)
        setItem(key, node);
}

bool OVPropertyList::contains(const char* key) const {
    return m_root && plist_dict_get_item(static_cast<plist_t>(m_root), key);
}

void* OVPropertyList::typedItem(const char* key, int type, OVError* error) const {
    if (!m_root)
        return nullptr;
    plist_t node = plist_dict_get_item(static_cast<plist_t>(m_root), key);
    if (!node)
        return nullptr;
    if (plist_get_node_type(node) != static_cast<plist_type>(type)) {
        OVError::set(error, corruptError(QStringLiteral("\"%1\" is a %2, not a %3")
                                             .arg(QString::fromUtf8(key), typeName(plist_get_node_type(node)),
                                                  typeName(static_cast<plist_type>(type)))));
        return nullptr;
    }
    return node;
}

std::optional<QString> OVPropertyList::string(const char* key, OVError* error) const {
    plist_t node = typedItem(key, PLIST_STRING, error);
    if (!node)
        return std::nullopt;
    uint64_t length = 0;
    const char* text = plist_get_string_ptr(node, &length);
    return QString::fromUtf8(text, static_cast<qsizetype>(length));
}

std::optional<quint64> OVPropertyList::integer(const char* key, OVError* error) const {
    plist_t node = typedItem(key, PLIST_UINT, error);
    if (!node)
        return std::nullopt;
    uint64_t value = 0;
    plist_get_uint_val(node, &value);
    return static_cast<quint64>(value);
}

std::optional<bool> OVPropertyList::boolean(const char* key, OVError* error) const {
    plist_t node = typedItem(key, PLIST_BOOLEAN, error);
    if (!node)
        return std::nullopt;
    uint8_t value = 0;
    plist_get_bool_val(node, &value);
    return value != 0;
}

std::optional<QByteArray> OVPropertyList::data(const char* key, OVError* error) const {
    plist_t node = typedItem(key, PLIST_DATA, error);
    if (!node)
        return std::nullopt;
    uint64_t length = 0;
    const char* bytes = plist_get_data_ptr(node, &length);
    return QByteArray(bytes, static_cast<qsizetype>(length));
}

std::optional<OVDate> OVPropertyList::date(const char* key, OVError* error) const {
    plist_t node = typedItem(key, PLIST_DATE, error);
    if (!node)
        return std::nullopt;
    // A copy has no parent, so it can be written alone; its one object holds the exact double.
    plist_t copy = plist_copy(node);
    char* bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(copy, &bytes, &length);
    plist_free(copy);
    std::optional<OVDate> result;
    if (bytes && length >= kDateObjectOffset + 9 &&
        static_cast<unsigned char>(bytes[kDateObjectOffset]) == kDateMarker) {
        const quint64 bits = qFromBigEndian<quint64>(bytes + kDateObjectOffset + 1);
        double secondsSince2001 = 0;
        std::memcpy(&secondsSince2001, &bits, sizeof secondsSince2001);
        result = OVDate::fromSecondsSince1970(secondsSince2001 + kSecondsFrom1970To2001);
    } else {
        OVError::set(error,
                     corruptError(QStringLiteral("unreadable date \"%1\"").arg(QString::fromUtf8(key))));
    }
    if (bytes)
        plist_to_bin_free(bytes);
    return result;
}
