// Formats with a run-time format string taken from the input: every conversion, fitting or
// not, must format without reading past its arguments.
#include <PellinFoundation/Format.h>
#include <PellinFoundation/Value.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view format(reinterpret_cast<const char*>(data), size);
    const foundation::Value nested(foundation::Dictionary{
        {"count", foundation::Value(3)},
        {"list",
         foundation::Value(foundation::Array{foundation::Value("a b"), foundation::Value()})},
        {"when", foundation::Value(foundation::Date{-1e12})}});
    const std::string text = foundation::stringWithRuntimeFormat(
        format, nested, std::int16_t{-1}, 42L, "text", static_cast<signed char>(1), 7UL);
    return text.size() > (1u << 30) ? -1 : 0;
}
