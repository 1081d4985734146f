#pragma once

#include <string>
#include <vector>

namespace pellin::test {

// The cases kept as data in tests/data/<name>: one case a line, its fields separated by tabs.
// Blank lines and lines that start with "#" are comments. A file that cannot be read fails
// the test.
std::vector<std::vector<std::string>> casesIn(const std::string& name);

}  // namespace pellin::test
