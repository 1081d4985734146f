// A stored credential is written by other programs and may be anything. Reading it must never
// fail in any other way than "nothing", and every well-formed text must survive the way into
// the stored form and back.
#include <UserDefaultConfigurationLib/CryptUtil.h>

#include <PellinFoundation/Base64.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    // As a stored form: deciphers to something or to nothing, never beyond its input.
    if (const auto plain = CryptUtil::AES128DecryptWithKey(input); plain && plain->size() > size) {
        std::abort();
    }

    // Whatever decodes re-encodes to text that decodes to the same bytes.
    if (const auto bytes = foundation::base64DecodedData(
            input, foundation::Base64DecodingIgnoreUnknownCharacters)) {
        const std::string again = foundation::base64EncodedString(
            *bytes, foundation::Base64Encoding64CharacterLineLength);
        if (foundation::base64DecodedData(
                again, foundation::Base64DecodingIgnoreUnknownCharacters) != bytes) {
            std::abort();
        }
    }

    // As a plain text: the stored form reads back as the text when it is UTF-8, else nothing.
    const auto stored = CryptUtil::AES128EncryptWithKey(input);
    if (!stored) {
        std::abort();
    }
    const auto back = CryptUtil::AES128DecryptWithKey(*stored);
    if (back && *back != input) {
        std::abort();
    }
    return 0;
}
