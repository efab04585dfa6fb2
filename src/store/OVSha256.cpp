#include "OVSha256.h"

#include <openssl/evp.h>

void OVSha256::ContextFree::operator()(evp_md_ctx_st* context) const {
    EVP_MD_CTX_free(context);
}

OVSha256::OVSha256()
    : m_context(EVP_MD_CTX_new()) {
    EVP_DigestInit_ex(m_context.get(), EVP_sha256(), nullptr);
}

OVSha256::~OVSha256() = default;

void OVSha256::addData(QByteArrayView data) {
    EVP_DigestUpdate(m_context.get(), data.data(), static_cast<size_t>(data.size()));
}

QByteArray OVSha256::hexResult() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_DigestFinal_ex(m_context.get(), digest, &size);
    return QByteArray(reinterpret_cast<const char*>(digest), static_cast<qsizetype>(size)).toHex();
}

QByteArray OVSha256::hexHash(QByteArrayView data) {
    OVSha256 hash;
    hash.addData(data);
    return hash.hexResult();
}
