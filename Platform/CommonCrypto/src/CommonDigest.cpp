#include <PellinCommonCrypto/CommonDigest.h>

#include <openssl/evp.h>

namespace commoncrypto {

unsigned char* CC_MD5(const void* data, CC_LONG len, unsigned char* md) {
    if (md == nullptr || (data == nullptr && len != 0)) {
        return nullptr;
    }
    static constexpr unsigned char kNoBytes[1] = {0};
    const void* bytes = data != nullptr ? data : kNoBytes;
    if (EVP_Digest(bytes, len, md, nullptr, EVP_md5(), nullptr) != 1) {
        return nullptr;
    }
    return md;
}

}  // namespace commoncrypto
