#pragma once

#include <string>
#include <vector>

namespace pellin::test {

// The cases kept as data in tests/data/<name>: one case a line, its fields separated by tabs.
// Blank lines and lines that start with "#" are comments. A file that cannot be read fails
// the test.
std::vector<std::vector<std::string>> casesIn(const std::string& name);

// A field's bytes, for fields that hold bytes no text file shows: "\n", "\r", "\t", "\\" and
// "\xHH" stand for the bytes they stand for in C.
std::string unescaped(const std::string& field);

// Compares `text` with the file tests/data/<name> (dialogs, log lines of a flow). With
// PELLIN_UPDATE_GOLDEN=1 the file is rewritten from `text`, to review as a diff.
void expectGolden(const std::string& name, const std::string& text);

}  // namespace pellin::test
