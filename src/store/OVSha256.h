#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <memory>

struct evp_md_ctx_st;

/**
 * A SHA-256 digest fed a chunk at a time, on OpenSSL's implementation: the export hashes whole
 * sessions and must keep up with the disk. One instance per digest, used on one thread at a time.
 */
class OVSha256 {
public:
    OVSha256();
    ~OVSha256();
    OVSha256(const OVSha256&) = delete;
    OVSha256& operator=(const OVSha256&) = delete;

    void addData(QByteArrayView data);
    /** The digest in lowercase hexadecimal; the instance is spent afterwards. */
    QByteArray hexResult();

    static QByteArray hexHash(QByteArrayView data);

private:
    struct ContextFree {
        void operator()(evp_md_ctx_st* context) const;
    };
    std::unique_ptr<evp_md_ctx_st, ContextFree> m_context;
};
