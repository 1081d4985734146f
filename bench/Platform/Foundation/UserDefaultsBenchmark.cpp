// Opening a 1,000-key settings domain and reading or setting one key, as every accessor of the
// shared settings library does. Targets: read under 5 us, set under 1 ms.

#include <PellinFoundation/UserDefaults.h>
#include <benchmark/benchmark.h>

#include <cstdint>

#include "SettingsBenchmarkHome.h"

namespace {

using foundation::UserDefaults;
using foundation::Value;
using pellin::bench::benchmarkKey;

constexpr const char* kDomain = "com.example.bench.userdefaults";

void fillDomain() {
    pellin::bench::temporaryHome();
    const auto defaults = UserDefaults::initWithSuiteName(kDomain);
    for (int i = 0; i < pellin::bench::kKeyCount; ++i) {
        defaults->setObject(Value("value of " + benchmarkKey(i)), benchmarkKey(i));
    }
}

void UserDefaultsOpenAndReadOneKey(benchmark::State& state) {
    fillDomain();
    for (auto _ : state) {
        const auto defaults = UserDefaults::initWithSuiteName(kDomain);
        benchmark::DoNotOptimize(defaults->objectForKey("key-500"));
    }
}
BENCHMARK(UserDefaultsOpenAndReadOneKey);

void UserDefaultsOpenAndSetOneKey(benchmark::State& state) {
    fillDomain();
    std::int64_t counter = 0;
    for (auto _ : state) {
        const auto defaults = UserDefaults::initWithSuiteName(kDomain);
        defaults->setObject(Value(++counter), "key-500");
    }
}
BENCHMARK(UserDefaultsOpenAndSetOneKey);

}  // namespace
