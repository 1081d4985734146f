#pragma once

// What the tests of property lists and settings share: values printed by their description,
// binary lists made by libplist itself (from XML that libplist reads itself), and a second
// process of the same user that shares a settings domain with a test.

#include <PellinFoundation/PropertyList.h>
#include <PellinFoundation/UserDefaults.h>
#include <gtest/gtest.h>
#include <plist/plist.h>
#include <unistd.h>

#include <cstdlib>
#include <ostream>
#include <set>
#include <string>

#include "Subprocess.h"
#include "TemporaryHome.h"

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

// Another process stores `text` under `key`; true once it has.
inline bool setElsewhere(const std::string& domain, const std::string& key,
                         const std::string& text) {
    return waitForExit(inChild([&] {
               foundation::UserDefaults::initWithSuiteName(domain)->setObject(
                   foundation::Value(text), key);
           })) == 0;
}

// A test's own home, and the file of the settings domain `domain` in it.
class SettingsDomainTest : public ::testing::Test {
  protected:
    explicit SettingsDomainTest(std::string domain) : domain_(std::move(domain)) {}
    std::filesystem::path preferences() const { return home.path() / "Library/Preferences"; }
    std::filesystem::path domainFile() const { return preferences() / (domain_ + ".plist"); }
    void writeDomainFile(const std::string& bytes) const {
        home.writeFile(domainFile().lexically_relative(home.path()), bytes);
    }
    // What the file holds now, read straight from disk.
    std::optional<foundation::Value> onDisk() const {
        return foundation::PropertyListSerialization::propertyListWithContentsOfFile(
            domainFile().string());
    }
    std::set<std::string> files() const {
        std::set<std::string> names;
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(preferences(), ignored)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }
    pellin::test::TemporaryHome home;

  private:
    std::string domain_;
};

}  // namespace pellin::test
