// Reads the input as a .strings table, as a bundle reads a file it was given: whatever the
// bytes, the reader must not crash, and every text of an accepted table must be valid UTF-8.
#include <PellinFoundation/StringsFile.h>

#include <iconv.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

bool isValidUtf8(const std::string& text) {
    static iconv_t converter = iconv_open("UTF-32LE", "UTF-8");
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    std::string input = text;
    std::string output(text.size() * 4 + 4, '\0');
    char* in = input.data();
    std::size_t inLeft = input.size();
    char* out = output.data();
    std::size_t outLeft = output.size();
    return iconv(converter, &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string whyNot;
    if (const auto table = foundation::StringsFile::parse(bytes, &whyNot)) {
        for (const auto& [key, value] : *table) {
            if (!isValidUtf8(key) || !isValidUtf8(value)) {
                std::abort();
            }
        }
    } else if (whyNot.empty()) {
        std::abort();  // a refusal always says why
    }
    return 0;
}
