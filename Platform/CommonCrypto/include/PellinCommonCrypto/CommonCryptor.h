#pragma once

// One-shot symmetric cipher in the shape of CommonCrypto's CCCrypt: the whole input is
// enciphered or deciphered in one call into a caller-provided buffer, and the call reports a
// status and the number of bytes written. Only AES is offered (the key length, 16, 24 or 32
// bytes, picks AES-128, -192 or -256), in CBC mode or, with kCCOptionECBMode, ECB mode.

#include <cstddef>
#include <cstdint>

namespace commoncrypto {

using CCOperation = std::uint32_t;
inline constexpr CCOperation kCCEncrypt = 0;
inline constexpr CCOperation kCCDecrypt = 1;

using CCAlgorithm = std::uint32_t;
inline constexpr CCAlgorithm kCCAlgorithmAES128 = 0;
inline constexpr CCAlgorithm kCCAlgorithmAES = kCCAlgorithmAES128;

using CCOptions = std::uint32_t;
inline constexpr CCOptions kCCOptionPKCS7Padding = 0x0001;
inline constexpr CCOptions kCCOptionECBMode = 0x0002;

inline constexpr std::size_t kCCKeySizeAES128 = 16;
inline constexpr std::size_t kCCKeySizeAES192 = 24;
inline constexpr std::size_t kCCKeySizeAES256 = 32;
inline constexpr std::size_t kCCBlockSizeAES128 = 16;

using CCCryptorStatus = std::int32_t;
inline constexpr CCCryptorStatus kCCSuccess = 0;
inline constexpr CCCryptorStatus kCCParamError = -4300;
inline constexpr CCCryptorStatus kCCBufferTooSmall = -4301;
inline constexpr CCCryptorStatus kCCMemoryFailure = -4302;
inline constexpr CCCryptorStatus kCCAlignmentError = -4303;
inline constexpr CCCryptorStatus kCCDecodeError = -4304;
inline constexpr CCCryptorStatus kCCUnimplemented = -4305;
inline constexpr CCCryptorStatus kCCUnspecifiedError = -4308;
inline constexpr CCCryptorStatus kCCKeySizeError = -4310;

// Runs `op` over `dataInLength` bytes of `dataIn` into `dataOut`, which has room for
// `dataOutAvailable` bytes. `iv` (16 bytes, or nullptr for zeros) is used in CBC mode only.
// On kCCSuccess `*dataOutMoved` is the number of bytes written; on kCCBufferTooSmall it is the
// room the output needs. Failures:
//   kCCParamError      unknown operation, algorithm or option, or a null pointer where bytes
//                      are expected
//   kCCKeySizeError    a key that is not 16, 24 or 32 bytes long
//   kCCBufferTooSmall  `dataOut` cannot hold the result (nothing useful is written)
//   kCCAlignmentError  without padding, input that is not a whole number of blocks; when
//                      deciphering with padding, input that is empty or not whole blocks
//   kCCDecodeError     deciphered padding that does not check out (wrong key, damaged data)
//   kCCMemoryFailure   no memory for the cipher's working state
//   kCCUnspecifiedError the cipher library failed otherwise
// Never throws; `dataOut` and `dataIn` may not overlap.
CCCryptorStatus CCCrypt(CCOperation op, CCAlgorithm alg, CCOptions options, const void* key,
                        std::size_t keyLength, const void* iv, const void* dataIn,
                        std::size_t dataInLength, void* dataOut, std::size_t dataOutAvailable,
                        std::size_t* dataOutMoved);

}  // namespace commoncrypto
