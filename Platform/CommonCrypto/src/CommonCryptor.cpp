#include <PellinCommonCrypto/CommonCryptor.h>

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <climits>
#include <memory>
#include <new>
#include <vector>

namespace commoncrypto {

namespace {

constexpr CCOptions kKnownOptions = kCCOptionPKCS7Padding | kCCOptionECBMode;

// EVP takes lengths as int; larger inputs go through in slices of whole blocks.
constexpr std::size_t kSliceLength = std::size_t{1} << 30;

const EVP_CIPHER* aesCipher(std::size_t keyLength, bool ecb) {
    switch (keyLength) {
        case kCCKeySizeAES128:
            return ecb ? EVP_aes_128_ecb() : EVP_aes_128_cbc();
        case kCCKeySizeAES192:
            return ecb ? EVP_aes_192_ecb() : EVP_aes_192_cbc();
        case kCCKeySizeAES256:
            return ecb ? EVP_aes_256_ecb() : EVP_aes_256_cbc();
        default:
            return nullptr;
    }
}

struct CipherContextFree {
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree>;

// Plain text may pass through a working buffer; it is wiped before the memory is given back.
struct WipedBuffer {
    std::vector<unsigned char> bytes;
    ~WipedBuffer() { OPENSSL_cleanse(bytes.data(), bytes.size()); }
};

// The room the result needs: padding adds 1 to 16 bytes when enciphering and only removes
// bytes when deciphering.
std::size_t resultRoom(bool encrypt, bool padding, std::size_t inputLength) {
    if (encrypt && padding) {
        return (inputLength / kCCBlockSizeAES128 + 1) * kCCBlockSizeAES128;
    }
    return inputLength;
}

CCCryptorStatus runCipher(EVP_CIPHER_CTX* context, const unsigned char* in, std::size_t inLength,
                          unsigned char* out, std::size_t& written, bool decryptWithPadding) {
    written = 0;
    for (std::size_t offset = 0; offset < inLength;) {
        const std::size_t slice = std::min(inLength - offset, kSliceLength);
        int sliceWritten = 0;
        if (EVP_CipherUpdate(context, out + written, &sliceWritten, in + offset,
                             static_cast<int>(slice)) != 1) {
            return kCCUnspecifiedError;
        }
        written += static_cast<std::size_t>(sliceWritten);
        offset += slice;
    }
    int finalWritten = 0;
    if (EVP_CipherFinal_ex(context, out + written, &finalWritten) != 1) {
        // With whole blocks checked beforehand, the only way for the final step of a padded
        // decipherment to fail is padding that does not check out.
        return decryptWithPadding ? kCCDecodeError : kCCUnspecifiedError;
    }
    written += static_cast<std::size_t>(finalWritten);
    return kCCSuccess;
}

}  // namespace

CCCryptorStatus CCCrypt(CCOperation op, CCAlgorithm alg, CCOptions options, const void* key,
                        std::size_t keyLength, const void* iv, const void* dataIn,
                        std::size_t dataInLength, void* dataOut, std::size_t dataOutAvailable,
                        std::size_t* dataOutMoved) {
    if (dataOutMoved != nullptr) {
        *dataOutMoved = 0;
    }
    if ((op != kCCEncrypt && op != kCCDecrypt) || alg != kCCAlgorithmAES128 ||
        (options & ~kKnownOptions) != 0 || key == nullptr ||
        (dataIn == nullptr && dataInLength != 0) || (dataOut == nullptr && dataOutAvailable != 0)) {
        return kCCParamError;
    }
    const bool encrypt = op == kCCEncrypt;
    const bool padding = (options & kCCOptionPKCS7Padding) != 0;
    const bool ecb = (options & kCCOptionECBMode) != 0;
    const EVP_CIPHER* cipher = aesCipher(keyLength, ecb);
    if (cipher == nullptr) {
        return kCCKeySizeError;
    }
    const bool wholeBlocks = dataInLength % kCCBlockSizeAES128 == 0;
    if ((!padding && !wholeBlocks) ||
        (!encrypt && padding && (!wholeBlocks || dataInLength == 0))) {
        return kCCAlignmentError;
    }
    const std::size_t room = resultRoom(encrypt, padding, dataInLength);
    if (dataOutAvailable < room) {
        if (dataOutMoved != nullptr) {
            *dataOutMoved = room;
        }
        return kCCBufferTooSmall;
    }

    CipherContext context(EVP_CIPHER_CTX_new());
    if (!context) {
        return kCCMemoryFailure;
    }
    static constexpr std::array<unsigned char, kCCBlockSizeAES128> kZeroIv{};
    const auto* ivBytes = iv != nullptr ? static_cast<const unsigned char*>(iv) : kZeroIv.data();
    if (EVP_CipherInit_ex2(context.get(), cipher, static_cast<const unsigned char*>(key),
                           ecb ? nullptr : ivBytes, encrypt ? 1 : 0, nullptr) != 1 ||
        EVP_CIPHER_CTX_set_padding(context.get(), padding ? 1 : 0) != 1) {
        return kCCUnspecifiedError;
    }

    // OpenSSL asks for one block more than the result while it works. A caller that gave
    // exactly the result's room gets the result through a working buffer instead.
    const auto* in = static_cast<const unsigned char*>(dataIn);
    auto* out = static_cast<unsigned char*>(dataOut);
    std::size_t written = 0;
    CCCryptorStatus status = kCCSuccess;
    if (dataOutAvailable >= dataInLength + kCCBlockSizeAES128) {
        status = runCipher(context.get(), in, dataInLength, out, written, !encrypt && padding);
    } else {
        WipedBuffer working;
        try {
            working.bytes.resize(dataInLength + kCCBlockSizeAES128);
        } catch (const std::bad_alloc&) {
            return kCCMemoryFailure;
        }
        status = runCipher(context.get(), in, dataInLength, working.bytes.data(), written,
                           !encrypt && padding);
        if (status == kCCSuccess) {
            std::copy_n(working.bytes.data(), written, out);
        }
    }
    if (status == kCCSuccess && dataOutMoved != nullptr) {
        *dataOutMoved = written;
    }
    return status;
}

}  // namespace commoncrypto
