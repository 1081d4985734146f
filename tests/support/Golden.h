#pragma once

// Exact texts (dialogs, log lines of a flow) kept as data under tests/data/ and compared whole.
// PELLIN_UPDATE_GOLDEN=1 rewrites the files from what the code does now, to review as a diff.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "TemporaryHome.h"

namespace pellin::test {

inline void expectGolden(const std::string& name, const std::string& text) {
    const std::filesystem::path file =
        std::filesystem::path(PELLIN_SOURCE_DIR) / "tests/data" / name;
    const char* update = std::getenv("PELLIN_UPDATE_GOLDEN");
    if (update != nullptr && std::string(update) == "1") {
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file) << text;
    }
    EXPECT_EQ(text, readFile(file)) << "differs from " << file;
}

}  // namespace pellin::test
