#pragma once

// What the tests of property lists and settings share: values printed by their description,
// binary lists made by libplist itself (from XML that libplist reads itself), and SettingsProbe,
// the second program that shares a settings domain with a test.

#include <PellinFoundation/Value.h>
#include <plist/plist.h>
#include <sys/wait.h>

#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "ChildProcess.h"

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

inline pid_t startProbe(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), SETTINGS_PROBE);
    return startProgram(arguments);
}

// What it printed, without the final newline; "(probe failed)" when it did not exit with 0.
inline std::string probe(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), SETTINGS_PROBE);
    ProgramRun run = runProgram(arguments);
    if (!run.started || !WIFEXITED(run.status) || WEXITSTATUS(run.status) != 0) {
        return "(probe failed)";
    }
    if (run.output.ends_with('\n')) {
        run.output.pop_back();
    }
    return run.output;
}

}  // namespace pellin::test
