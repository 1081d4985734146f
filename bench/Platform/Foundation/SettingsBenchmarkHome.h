#pragma once

// Temporary HOMEs for the benchmarks, removed at the end of the process, so that no benchmark
// reads or writes the real one.

#include <string>

namespace pellin::bench {

// Sets HOME to a fresh folder (made once per process) in the temporary folder, on whatever
// disk holds it, and returns it.
const std::string& temporaryHome();

// Sets HOME to a fresh folder (made once per process) on a tmpfs and returns it: in /dev/shm
// when that is a tmpfs, else on a tmpfs mounted in a private mount namespace. Empty (HOME left
// alone) when neither can be had.
const std::string& tmpfsHome();

// "key-0" ... "key-999", the keys of the benchmarks' 1,000-key domains.
std::string benchmarkKey(int i);
constexpr int kKeyCount = 1000;

}  // namespace pellin::bench
