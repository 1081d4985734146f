// Reads the input as a settings domain file (XML or binary property list). Whatever reads as
// a value must be written as XML that reads back as the same value.
#include <PellinFoundation/PropertyList.h>
#include <PellinFoundation/Value.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto value = foundation::PropertyListSerialization::propertyListWithData(input);
    if (!value) {
        return 0;
    }
    const auto xml = foundation::PropertyListSerialization::xmlDataWithPropertyList(*value);
    if (!xml) {
        return 0;  // texts XML cannot hold are refused on write, never cut
    }
    const auto again = foundation::PropertyListSerialization::propertyListWithData(*xml);
    // Descriptions, not ==, so that a real NaN compares equal to itself.
    if (!again || again->description() != value->description()) {
        std::abort();
    }
    return 0;
}
