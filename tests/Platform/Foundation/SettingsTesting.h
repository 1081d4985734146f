#pragma once

// What the tests of property lists and settings share: values printed by their description,
// binary lists made by libplist itself (from XML that libplist reads itself), and a second
// process of the same user that shares a settings domain with a test.

#include <PellinFoundation/UserDefaults.h>
#include <plist/plist.h>
#include <unistd.h>

#include <cstdlib>
#include <ostream>
#include <string>

#include "Subprocess.h"

namespace foundation {
inline void PrintTo(const Value& value, std::ostream* out) {
    *out << value.description();
}
}  // namespace foundation

namespace pellin::test {

inline std::string binaryFromXml(const std::string& xml) {
    plist_t root = nullptr;
    plist_from_xml(xml.data(), static_cast<std::uint32_t>(xml.size()), &root);
    char* bytes = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(root, &bytes, &length);
    std::string out(bytes, length);
    std::free(bytes);
    plist_free(root);
    return out;
}

// Runs `body` in a forked copy of this test, whose process has no other thread at that moment.
// Wait for it with waitForExit: 0 once `body` has returned, 1 if it threw.
template <class Body>
pid_t inChild(const Body& body) {
    const pid_t pid = fork();
    if (pid == 0) {
        try {
            body();
        } catch (...) {
            _exit(1);
        }
        _exit(0);
    }
    return pid;
}

// Another process stores PREFIX-0 = 0 ... PREFIX-(N-1) = N-1 in the domain.
inline pid_t writeMany(const std::string& domain, const std::string& prefix, long n) {
    return inChild([&] {
        const auto defaults = foundation::UserDefaults::initWithSuiteName(domain);
        for (long i = 0; i < n; ++i) {
            defaults->setObject(foundation::Value(i), prefix + "-" + std::to_string(i));
        }
    });
}

// Another process stores `text` under `key`; true once it has.
inline bool setElsewhere(const std::string& domain, const std::string& key,
                         const std::string& text) {
    return waitForExit(inChild([&] {
               foundation::UserDefaults::initWithSuiteName(domain)->setObject(
                   foundation::Value(text), key);
           })) == 0;
}

}  // namespace pellin::test
