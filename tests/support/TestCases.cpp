#include "TestCases.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "TemporaryHome.h"

namespace pellin::test {

std::vector<std::vector<std::string>> casesIn(const std::string& name) {
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

std::string unescaped(const std::string& field) {
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

void expectGolden(const std::string& name, const std::string& text) {
    const std::filesystem::path file = std::string(PELLIN_TEST_DATA) + "/" + name;
    if (const char* update = std::getenv("PELLIN_UPDATE_GOLDEN");
        update && update == std::string("1")) {
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file) << text;
    }
    EXPECT_EQ(text, readFile(file)) << "differs from " << file;
}

}  // namespace pellin::test
