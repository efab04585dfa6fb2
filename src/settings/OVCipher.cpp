#include "OVCipher.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <openssl/evp.h>

#include <climits>
#include <cstring>
#include <memory>

namespace {

constexpr int kKeySize = 32;
constexpr int kKeyBufferSize = kKeySize + 1;
constexpr int kBlockSize = 16;

struct ContextFree {
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};

std::optional<QByteArray> run(const QByteArray& input, const QString& key, bool encrypt) {
    const std::optional<QByteArray> keyBytes = OVCipher::keyBytes(key);
    if (!keyBytes)
        return std::nullopt;
    std::unique_ptr<EVP_CIPHER_CTX, ContextFree> context(EVP_CIPHER_CTX_new());
    if (!context)
        return std::nullopt;
    const unsigned char iv[kBlockSize] = {};
    const auto* keyData = reinterpret_cast<const unsigned char*>(keyBytes->constData());
    if (EVP_CipherInit_ex(context.get(), EVP_aes_256_cbc(), nullptr, keyData, iv, encrypt ? 1 : 0) != 1)
        return std::nullopt;
    QByteArray output(input.size() + kBlockSize, Qt::Uninitialized);
    auto* out = reinterpret_cast<unsigned char*>(output.data());
    int written = 0;
    if (!input.isEmpty() && EVP_CipherUpdate(context.get(), out, &written,
                                             reinterpret_cast<const unsigned char*>(input.constData()),
                                             static_cast<int>(input.size())) != 1)
        return std::nullopt;
    int last = 0;
    if (EVP_CipherFinal_ex(context.get(), out + written, &last) != 1)
        return std::nullopt;
    output.truncate(written + last);
    return output;
}

} // namespace

std::optional<QByteArray> OVCipher::keyBytes(const QString& key) {
    const QByteArray utf8 = key.toUtf8();
    // Room for the text and its terminating zero; what is left stays zero.
    if (utf8.size() + 1 > kKeyBufferSize)
        return std::nullopt;
    char buffer[kKeyBufferSize] = {};
    std::memcpy(buffer, utf8.constData(), static_cast<size_t>(utf8.size()));
    return QByteArray(buffer, kKeySize);
}

std::optional<QByteArray> OVCipher::AES256EncryptWithKey(const QByteArray& data, const QString& key) {
    if (data.size() > INT_MAX - kBlockSize)
        return std::nullopt;
    return run(data, key, true);
}

std::optional<QByteArray> OVCipher::AES256DecryptWithKey(const QByteArray& data, const QString& key) {
    if (data.isEmpty() || data.size() > INT_MAX - kBlockSize)
        return std::nullopt;
    return run(data, key, false);
}

std::optional<QByteArray> OVCipher::encryptString(const QString& text, const QString& key,
                                                  QStringConverter::Encoding encoding) {
    QStringEncoder encoder(encoding);
    const QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        return std::nullopt;
    return AES256EncryptWithKey(bytes, key);
}

std::optional<QString> OVCipher::decryptString(const QByteArray& data, const QString& key,
                                               QStringConverter::Encoding encoding) {
    const std::optional<QByteArray> plain = AES256DecryptWithKey(data, key);
    if (!plain)
        return std::nullopt;
    QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
    const QString text = decoder.decode(*plain);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}
