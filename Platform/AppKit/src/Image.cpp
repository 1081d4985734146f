#include <PellinAppKit/Image.h>

#include <unistd.h>

#include <system_error>

namespace appkit {

std::shared_ptr<const Image> Image::imageWithContentsOfFile(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error) || access(path.c_str(), R_OK) != 0) {
        return nullptr;
    }
    return std::shared_ptr<const Image>(new Image(path));
}

}  // namespace appkit
