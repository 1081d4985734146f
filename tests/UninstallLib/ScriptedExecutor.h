#pragma once

#include <PellinAppleScript/AppleScript.h>
#include <PellinAppleScript/ScriptExecutor.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pellin::test {

// Plays back one scripted answer per run, in order, and keeps every source it was asked to
// run. Runs beyond the script succeed with an empty result.
class ScriptedExecutor : public applescript::ScriptExecutor {
  public:
    struct Answer {
        std::optional<std::string> result;
        std::optional<std::pair<std::int64_t, std::string>> error;  // written into the record
    };
    static Answer success(std::string result = "") { return {std::move(result), std::nullopt}; }
    static Answer failure(std::int64_t number, std::string message) {
        return {std::nullopt, std::make_pair(number, std::move(message))};
    }
    // No result, and the record left exactly as it was.
    static Answer silentFailure() { return {std::nullopt, std::nullopt}; }

    explicit ScriptedExecutor(std::vector<Answer> answers)
        : answers_(answers.begin(), answers.end()) {}

    std::optional<std::string> executeAndReturnError(std::string_view source,
                                                     foundation::Dictionary* errorInfo) override {
        sources.emplace_back(source);
        const Answer answer = answers_.empty() ? success() : answers_.front();
        if (!answers_.empty()) {
            answers_.pop_front();
        }
        if (answer.result && effectOfSuccess) {
            effectOfSuccess();
        }
        if (answer.error && errorInfo != nullptr) {
            (*errorInfo)[std::string(applescript::NSAppleScriptErrorNumber)] =
                foundation::Value(answer.error->first);
            (*errorInfo)[std::string(applescript::NSAppleScriptErrorMessage)] =
                foundation::Value(answer.error->second);
        }
        return answer.result;
    }

    std::vector<std::string> sources;
    // What a successful run does, as the real removal would remove the items.
    std::function<void()> effectOfSuccess;

  private:
    std::deque<Answer> answers_;
};

}  // namespace pellin::test
