#pragma once

// One value shared by every thread of the process under one lock, and never destroyed: a thread
// that still uses it while the process ends must not find it gone. Declare it as a
// function-local static; its own destructor does nothing.

#include <mutex>
#include <shared_mutex>
#include <utility>

namespace foundation::detail {

template <class T, class Mutex = std::mutex>
class ProcessWide {
  public:
    ProcessWide() : state_(new State) {}

    // Runs `use` on the value under the exclusive lock and returns what it returns.
    template <class Use>
    decltype(auto) locked(Use&& use) {
        const std::unique_lock lock(state_->mutex);
        return std::forward<Use>(use)(state_->value);
    }

    // Runs `use` on the value under a shared lock, for readers of a std::shared_mutex.
    template <class Use>
    decltype(auto) shared(Use&& use) const {
        const std::shared_lock lock(state_->mutex);
        return std::forward<Use>(use)(std::as_const(state_->value));
    }

  private:
    struct State {
        Mutex mutex;
        T value;
    };
    State* const state_;
};

}  // namespace foundation::detail
