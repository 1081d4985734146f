// Reads the input as a settings domain file (XML or binary property list). Whatever the domain
// reader takes must be written as XML that it reads back as the very same values, with nothing
// dropped; whatever the general reader takes must, when it can be written, read back the same.
#include <PellinFoundation/PropertyList.h>
#include <PellinFoundation/Value.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

using foundation::Value;

// Equality, but with a NaN equal to itself.
bool same(const Value& a, const Value& b) {
    if (a.real() && b.real() && std::isnan(*a.real()) && std::isnan(*b.real())) {
        return true;
    }
    if (a.array() && b.array()) {
        if (a.array()->size() != b.array()->size()) {
            return false;
        }
        for (std::size_t i = 0; i < a.array()->size(); ++i) {
            if (!same(a.array()->at(i), b.array()->at(i))) {
                return false;
            }
        }
        return true;
    }
    if (a.dictionary() && b.dictionary()) {
        if (a.dictionary()->size() != b.dictionary()->size()) {
            return false;
        }
        for (auto left = a.dictionary()->begin(), right = b.dictionary()->begin();
             left != a.dictionary()->end(); ++left, ++right) {
            if (left->first != right->first || !same(left->second, right->second)) {
                return false;
            }
        }
        return true;
    }
    return a == b;
}

void checkDomainReader(std::string_view input) {
    using foundation::PropertyListSerialization;
    const auto domain = PropertyListSerialization::domainEntriesWithData(input);
    if (!domain) {
        return;
    }
    const auto xml = PropertyListSerialization::xmlDataWithPropertyList(domain->values);
    const auto again = xml ? PropertyListSerialization::domainEntriesWithData(*xml) : std::nullopt;
    if (!again || !again->dropped.empty() || !same(again->values, domain->values)) {
        std::abort();
    }
}

void checkGeneralReader(std::string_view input) {
    using foundation::PropertyListSerialization;
    const auto value = PropertyListSerialization::propertyListWithData(input);
    if (!value) {
        return;
    }
    const auto xml = PropertyListSerialization::xmlDataWithPropertyList(*value);
    if (!xml) {
        return;  // a key XML cannot carry is refused on write, never cut
    }
    const auto again = PropertyListSerialization::propertyListWithData(*xml);
    if (!again || !same(*again, *value)) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    checkDomainReader(input);
    checkGeneralReader(input);
    return 0;
}
