#pragma once

// MD5 digest in the shape of CommonCrypto's CC_MD5. MD5 is kept for data formats that other
// programs already read and write, not as a security measure.

#include <cstdint>

namespace commoncrypto {

using CC_LONG = std::uint32_t;
inline constexpr CC_LONG CC_MD5_DIGEST_LENGTH = 16;

// Writes the 16-byte MD5 digest (RFC 1321) of `len` bytes at `data` into `md` and returns `md`;
// nullptr when `md` is null, or when `data` is null and `len` is not 0.
unsigned char* CC_MD5(const void* data, CC_LONG len, unsigned char* md);

}  // namespace commoncrypto
