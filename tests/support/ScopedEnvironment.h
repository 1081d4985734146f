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
            if (value) {
                setenv(name.c_str(), value->c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

    ScopedEnvironment& set(const std::string& name, const std::string& value) {
        save(name);
        setenv(name.c_str(), value.c_str(), 1);
        return *this;
    }
    ScopedEnvironment& unset(const std::string& name) {
        save(name);
        unsetenv(name.c_str());
        return *this;
    }
    // Only `language` chooses the language: LANG set to it, the variables that would win over
    // it removed.
    ScopedEnvironment& language(const std::string& lang) {
        unset("LANGUAGE").unset("LC_ALL").unset("LC_MESSAGES");
        return set("LANG", lang);
    }

  private:
    void save(const std::string& name) {
        if (saved_.count(name) == 0) {
            const char* value = std::getenv(name.c_str());
            saved_[name] = value ? std::optional<std::string>(value) : std::nullopt;
        }
    }
    std::map<std::string, std::optional<std::string>> saved_;
};

}  // namespace pellin::test
