#pragma once

#include <filesystem>
#include <memory>

#include <PellinFoundation/Export.h>

namespace appkit {

// The stand-in for NSImage as alerts use it: a picture file that a presenter shows in place of
// the style's standard icon. It is read when the alert is shown; a presenter that cannot read
// it shows the standard icon instead.
class PELLIN_EXPORT Image {
  public:
    // nullptr when no readable file is at `path`, as initWithContentsOfFile: answers nil.
    static std::shared_ptr<const Image> imageWithContentsOfFile(const std::filesystem::path& path);

    const std::filesystem::path& path() const { return path_; }

  private:
    explicit Image(std::filesystem::path path) : path_(std::move(path)) {}
    std::filesystem::path path_;
};

}  // namespace appkit
