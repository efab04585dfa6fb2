#pragma once

#include <QByteArray>
#include <QString>
#include <QStringConverter>

#include <optional>

/**
 * AES-256 in CBC mode with PKCS#7 padding and an all-zero initialisation vector, the protection of
 * the stored password. The key text's UTF-8 bytes are copied, zero-terminated, into a zero-filled
 * buffer of 33 bytes whose first 32 bytes are the AES key; a key that does not fit yields nothing.
 * Stateless and thread-safe.
 */
class OVCipher {
public:
    /** The cipher text (at most 16 bytes longer than data), or none when the cipher fails. */
    static std::optional<QByteArray> AES256EncryptWithKey(const QByteArray& data, const QString& key);
    /** The plain bytes, or none when the cipher fails (wrong key, damaged padding). */
    static std::optional<QByteArray> AES256DecryptWithKey(const QByteArray& data, const QString& key);

    /** The text in the given encoding, encrypted. */
    static std::optional<QByteArray>
    encryptString(const QString& text, const QString& key,
                  QStringConverter::Encoding encoding = QStringConverter::Utf8);
    /** Decrypts and decodes; none when decryption or decoding fails. */
    static std::optional<QString> decryptString(const QByteArray& data, const QString& key,
                                                QStringConverter::Encoding encoding = QStringConverter::Utf8);

    /** The 32 key bytes made from the key text, or none when it does not fit. */
    static std::optional<QByteArray> keyBytes(const QString& key);
};
