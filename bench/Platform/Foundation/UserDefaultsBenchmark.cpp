// Opening a 1,000-key settings domain and reading or setting one key, as every accessor of the
// shared settings library does. Targets: read under 5 us; a set at most 7 times a bare write
// and rename of a file of the same size on a tmpfs, and at most 1.3 times on a disk. The set
// and that reference run side by side, on a tmpfs (/tmpfs) and on the disk that holds the
// temporary folder (/disk).

#include <fcntl.h>
#include <unistd.h>

#include <PellinFoundation/FileManager.h>
#include <PellinFoundation/UserDefaults.h>
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "SettingsBenchmarkHome.h"

namespace {

using foundation::UserDefaults;
using foundation::Value;
using pellin::bench::benchmarkKey;

constexpr const char* kDomain = "com.example.bench.userdefaults";

enum class Where { Disk, Tmpfs };

// Makes HOME the benchmark's home on `where` and fills the domain there; false (the benchmark
// skipped) when there is no tmpfs to be had.
bool fillDomain(benchmark::State& state, Where where) {
    const std::string& home =
        where == Where::Tmpfs ? pellin::bench::tmpfsHome() : pellin::bench::temporaryHome();
    if (home.empty()) {
        state.SkipWithError("no tmpfs: /dev/shm is none, and a private one cannot be mounted");
        return false;
    }
    const auto defaults = UserDefaults::initWithSuiteName(kDomain);
    for (int i = 0; i < pellin::bench::kKeyCount; ++i) {
        defaults->setObject(Value("value of " + benchmarkKey(i)), benchmarkKey(i));
    }
    return true;
}

void UserDefaultsOpenAndReadOneKey(benchmark::State& state) {
    if (!fillDomain(state, Where::Disk)) {
        return;
    }
    for (auto _ : state) {
        const auto defaults = UserDefaults::initWithSuiteName(kDomain);
        benchmark::DoNotOptimize(defaults->objectForKey("key-500"));
    }
}
BENCHMARK(UserDefaultsOpenAndReadOneKey);

void UserDefaultsOpenAndSetOneKey(benchmark::State& state, Where where) {
    if (!fillDomain(state, where)) {
        return;
    }
    std::int64_t counter = 0;
    for (auto _ : state) {
        const auto defaults = UserDefaults::initWithSuiteName(kDomain);
        defaults->setObject(Value(++counter), "key-500");
    }
}
BENCHMARK_CAPTURE(UserDefaultsOpenAndSetOneKey, tmpfs, Where::Tmpfs);
BENCHMARK_CAPTURE(UserDefaultsOpenAndSetOneKey, disk, Where::Disk);

// The least any store that writes through a temporary file must do: the domain file's bytes
// written to a new file in the same folder, which is renamed over the old one.
void BareWriteAndRenameOfTheSameSize(benchmark::State& state, Where where) {
    if (!fillDomain(state, where)) {
        return;
    }
    const std::string path = UserDefaults::initWithSuiteName(kDomain)->path();
    const std::string bytes =
        foundation::FileManager::contentsOfRegularFileAtPath(path, 1 << 24).value_or(std::string());
    const std::string folder = path.substr(0, path.rfind('/'));
    const std::string temporary = folder + "/.bare.tmp";
    const std::string target = folder + "/bare.plist";
    for (auto _ : state) {
        const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0 || write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) ||
            close(fd) != 0 || rename(temporary.c_str(), target.c_str()) != 0) {
            state.SkipWithError("the bare write and rename failed");
            break;
        }
    }
    state.counters["file_bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK_CAPTURE(BareWriteAndRenameOfTheSameSize, tmpfs, Where::Tmpfs);
BENCHMARK_CAPTURE(BareWriteAndRenameOfTheSameSize, disk, Where::Disk);

}  // namespace
