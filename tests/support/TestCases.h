#pragma once

// Cases kept as data, and exact texts compared whole, in files under tests/data/.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "TemporaryHome.h"

namespace pellin::test {

// The cases kept as data in tests/data/<name>: one case a line, its fields separated by tabs.
// Blank lines and lines that start with "#" are comments. A file that cannot be read fails
// the test.
inline std::vector<std::vector<std::string>> casesIn(const std::string& name) {
    std::ifstream file(std::string(PELLIN_TEST_DATA) + "/" + name);
    EXPECT_TRUE(file) << "cannot read " << name;
    std::vector<std::vector<std::string>> cases;
    for (std::string line; std::getline(file, line);) {
        if (line.empty() || line.starts_with("#")) {
            continue;
        }
        std::istringstream fields(line);
        cases.emplace_back();
        for (std::string field; std::getline(fields, field, '\t');) {
            cases.back().push_back(field);
        }
        if (line.ends_with('\t')) {
            cases.back().emplace_back();  // an empty last field
        }
    }
    return cases;
}

// A field's bytes, for fields that hold bytes no text file shows: "\n", "\r", "\t", "\\" and
// "\xHH" stand for the bytes they stand for in C.
inline std::string unescaped(const std::string& field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const char next = i + 1 < field.size() && field[i] == '\\' ? field[++i] : '\0';
        if (next == 'x') {
            out += static_cast<char>(std::stoi(field.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += next == 'n'   ? '\n'
                   : next == 'r' ? '\r'
                   : next == 't' ? '\t'
                   : next        ? next
                                 : field[i];
        }
    }
    return out;
}

// Compares `text` with the file tests/data/<name> (dialogs, log lines of a flow). With
// PELLIN_UPDATE_GOLDEN=1 the file is rewritten from `text`, to review as a diff.
inline void expectGolden(const std::string& name, const std::string& text) {
    const std::filesystem::path file = std::string(PELLIN_TEST_DATA) + "/" + name;
    if (const char* update = std::getenv("PELLIN_UPDATE_GOLDEN");
        update && update == std::string("1")) {
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file) << text;
    }
    EXPECT_EQ(text, readFile(file)) << "differs from " << file;
}

}  // namespace pellin::test
