#include "support/ImmutableFile.h"

#include "support/Uninstaller.h"

namespace pellin::test {

namespace {

constexpr const char* kChattr = "/usr/bin/chattr";

}  // namespace

ImmutableFile::ImmutableFile(std::filesystem::path path) : path_(std::move(path)) {
    applied_ = exitedWith(runQuietly({kChattr, "+i", path_.string()}).status, 0);
}

ImmutableFile::~ImmutableFile() {
    if (applied_) {
        runQuietly({kChattr, "-i", path_.string()});
    }
}

}  // namespace pellin::test
