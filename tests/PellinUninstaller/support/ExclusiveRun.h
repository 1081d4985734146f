#pragma once

// The uninstaller force-quits the first running instance of the product's applications of the
// whole user, whichever test started it. Tests that run product applications and the uninstaller
// hold this lock for their whole length, so that two of them running at the same time (ctest -j)
// cannot quit each other's applications.

#include <filesystem>

namespace pellin::test {

class ExclusiveRun {
  public:
    // Waits until no other such test runs.
    ExclusiveRun();
    ~ExclusiveRun();
    ExclusiveRun(const ExclusiveRun&) = delete;
    ExclusiveRun& operator=(const ExclusiveRun&) = delete;

  private:
    int fd_ = -1;
};

}  // namespace pellin::test
