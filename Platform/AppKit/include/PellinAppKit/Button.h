#pragma once

#include <string>

#include <PellinFoundation/Export.h>

namespace appkit {

// The key equivalents an alert's buttons use: a carriage return is the Return key, the empty
// text is no key at all.
inline constexpr const char* kReturnKeyEquivalent = "\r";
inline constexpr const char* kNoKeyEquivalent = "";

// The stand-in for NSButton as alerts use it: a title and the key that presses it.
class PELLIN_EXPORT Button {
  public:
    explicit Button(std::string title) : title_(std::move(title)) {}

    const std::string& title() const { return title_; }
    void setTitle(std::string title) { title_ = std::move(title); }

    const std::string& keyEquivalent() const { return keyEquivalent_; }
    void setKeyEquivalent(std::string key) { keyEquivalent_ = std::move(key); }
    bool answersReturn() const { return keyEquivalent_ == kReturnKeyEquivalent; }

  private:
    std::string title_;
    std::string keyEquivalent_;
};

}  // namespace appkit
