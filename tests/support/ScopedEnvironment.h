#pragma once

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

namespace pellin::test {

// Sets or removes environment variables for one test and puts the previous values back, so
// that the language and display of one test never leak into the next.
class ScopedEnvironment {
  public:
    ScopedEnvironment() = default;
    ~ScopedEnvironment() {
        for (const auto& [name, value] : saved_) {
            apply(name, value);
        }
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

    ScopedEnvironment& set(const std::string& name, const std::string& value) {
        return change(name, value);
    }
    ScopedEnvironment& unset(const std::string& name) { return change(name, std::nullopt); }
    // Only `language` chooses the language: LANG set to it, the variables that would win over
    // it removed.
    ScopedEnvironment& language(const std::string& lang) {
        unset("LANGUAGE").unset("LC_ALL").unset("LC_MESSAGES");
        return set("LANG", lang);
    }

  private:
    static void apply(const std::string& name, const std::optional<std::string>& value) {
        value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
    }
    ScopedEnvironment& change(const std::string& name, const std::optional<std::string>& value) {
        if (const char* old = std::getenv(name.c_str()); saved_.count(name) == 0) {
            saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        apply(name, value);
        return *this;
    }
    std::map<std::string, std::optional<std::string>> saved_;
};

}  // namespace pellin::test
