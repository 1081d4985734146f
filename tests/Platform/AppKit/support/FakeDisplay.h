#pragma once

// An X display of the test's own that no real server stands behind: it refuses connections, as
// a display whose server has gone does; or it accepts them and then either closes each at once,
// as a server does that refuses the client's authorisation, or never answers, as a hung one does.

#include <atomic>
#include <string>
#include <thread>

namespace pellin::test {

class FakeXDisplay {
  public:
    enum class Behaviour { Stale, Refusing, Silent };

    // Listens on the first free display number from 90 on (Linux's abstract socket namespace,
    // where X clients look first); check available() before use.
    explicit FakeXDisplay(Behaviour behaviour);
    ~FakeXDisplay();
    FakeXDisplay(const FakeXDisplay&) = delete;
    FakeXDisplay& operator=(const FakeXDisplay&) = delete;

    bool available() const { return socket_ >= 0; }
    // "DISPLAY=:<n>".
    std::string environmentEntry() const;

  private:
    int socket_ = -1;
    int number_ = -1;
    std::atomic<bool> done_{false};
    std::thread refuser_;
};

}  // namespace pellin::test
