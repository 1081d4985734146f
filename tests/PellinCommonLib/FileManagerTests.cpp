// The product's file checks in homes of every shape, as tests/data/common-file-manager.txt sets
// them out: a line that puts a file or folder in the home or removes one, then the checks, each
// with its answer and every line it logged (level, function, text).
#include <PellinCommonLib/PellinCommonFileManager.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "CapturedLog.h"
#include "TemporaryHome.h"

TEST(PellinCommonFileManager, AnswersAndLinesFollowTheTranscript) {
    using Manager = PellinCommonFileManager;
    const std::map<std::string, bool (*)()> checks = {
        {"existsKickPellinApp", Manager::existsKickPellinApp},
        {"existsAutoStartSettingFileOrPellinApp", Manager::existsAutoStartSettingFileOrPellinApp},
        {"makeUsersApplications", Manager::makeUsersApplications},
        {"removeKickPellinApp", Manager::removeKickPellinApp}};
    const pellin::test::TemporaryHome home;
    std::istringstream steps(pellin::test::readFile(FILE_MANAGER_TRANSCRIPT));
    std::string transcript;
    for (std::string step; std::getline(steps, step);) {
        std::string word, path;
        std::istringstream(step) >> word >> path;
        if (checks.contains(word)) {
            pellin::test::CapturedLog log;
            transcript += word + (checks.at(word)() ? " YES\n" : " NO\n");
            for (const auto& message : log.messages()) {
                std::string text = message.message;
                if (const auto at = text.find(home.path().string()); at != std::string::npos) {
                    text.replace(at, home.path().string().size(), "$HOME");
                }
                transcript += "  " + std::to_string(message.flag) + " " + message.function + " | " +
                              text + "\n";
            }
        } else if (!step.starts_with("  ")) {
            if (word == "file" || word == "folder" || word == "remove") {
                std::filesystem::remove_all(home.path() / path);
            }
            if (word == "file" || word == "folder") {
                home.writeFile(word == "file" ? path : path + "/.keep");
            }
            transcript += step + "\n";
        }
    }
    EXPECT_EQ(transcript, steps.str());
}
