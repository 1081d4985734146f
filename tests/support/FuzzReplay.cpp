// Runs a fuzz target's entry point over every file of its corpus (FUZZ_CORPUS), so that the
// normal build replays what fuzzing found. A target aborts on a fault: the file it was given is
// named on standard error first.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <iostream>

#include "TemporaryHome.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

TEST(FuzzCorpus, EveryFileReplaysWithoutAFault) {
    const pellin::test::TemporaryHome home;
    int files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(FUZZ_CORPUS)) {
        if (entry.is_regular_file()) {
            const std::string bytes = pellin::test::readFile(entry.path());
            std::cerr << "replaying " << entry.path().filename() << '\n';
            EXPECT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                             bytes.size()),
                      0);
            ++files;
        }
    }
    EXPECT_GT(files, 0);
}
