#pragma once

// A temporary HOME for the benchmarks, removed at the end of the process, so that no benchmark
// reads or writes the real one.

#include <string>

namespace pellin::bench {

// Sets HOME to a fresh folder (made once per process) and returns it.
const std::string& temporaryHome();

// "key-0" ... "key-999", the keys of the benchmarks' 1,000-key domains.
std::string benchmarkKey(int i);
constexpr int kKeyCount = 1000;

}  // namespace pellin::bench
