#include "TestCases.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

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

}  // namespace pellin::test
