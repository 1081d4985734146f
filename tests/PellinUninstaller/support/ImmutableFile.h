#pragma once

// A file marked immutable for the object's lifetime (chattr +i), so that not even root can
// remove it. Needs root and a file system that keeps the flag (tmpfs and overlay do not):
// check applied() before relying on it.

#include <filesystem>

namespace pellin::test {

class ImmutableFile {
  public:
    explicit ImmutableFile(std::filesystem::path path);
    ~ImmutableFile();
    ImmutableFile(const ImmutableFile&) = delete;
    ImmutableFile& operator=(const ImmutableFile&) = delete;

    bool applied() const { return applied_; }

  private:
    std::filesystem::path path_;
    bool applied_ = false;
};

}  // namespace pellin::test
