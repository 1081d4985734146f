// Cost of storing and reading back an enciphered user identifier: each call opens the shared
// domain, derives the key, runs the cipher and (for the setter) writes the domain file through.
#include <UserDefaultConfigurationLib/CryptUtil.h>
#include <UserDefaultConfigurationLib/UserDefaultConfigurationLib.h>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// The benchmark works in a home folder of its own, never in the real one.
class BenchmarkHome {
  public:
    BenchmarkHome() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "pellin-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
            setenv("HOME", path_.c_str(), 1);
        }
    }
    ~BenchmarkHome() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    bool ready() const { return !path_.empty(); }

  private:
    std::filesystem::path path_;
};

void BM_SetUserIdThenGetUserId(benchmark::State& state) {
    BenchmarkHome home;
    if (!home.ready()) {
        state.SkipWithError("no temporary home");
        return;
    }
    // Two identifiers in turn, so that every set really changes the stored value.
    const std::string userIds[2] = {std::string(static_cast<std::size_t>(state.range(0)), 'u'),
                                    std::string(static_cast<std::size_t>(state.range(0)), 'v')};
    std::size_t turn = 0;
    for (auto _ : state) {
        const std::string& userId = userIds[turn++ % 2];
        UserDefaultConfigurationLib::setUserId(userId);
        std::string read = UserDefaultConfigurationLib::getUserId();
        benchmark::DoNotOptimize(read);
        if (read != userId) {
            state.SkipWithError("the identifier did not read back");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SetUserIdThenGetUserId)->Arg(16)->Arg(48);

// The cipher alone, without the store, to tell the two costs apart.
void BM_EncipherThenDecipher(benchmark::State& state) {
    const std::string userId(static_cast<std::size_t>(state.range(0)), 'u');
    for (auto _ : state) {
        auto stored = CryptUtil::AES128EncryptWithKey(userId);
        auto read = CryptUtil::AES128DecryptWithKey(stored.value_or(""));
        benchmark::DoNotOptimize(read);
    }
}
BENCHMARK(BM_EncipherThenDecipher)->Arg(16)->Arg(48);

}  // namespace
