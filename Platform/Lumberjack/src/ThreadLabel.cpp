#include "ThreadLabel.h"

#include <pthread.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace lumberjack::detail {
namespace {

// Trivially destructible, so that a log call from a static destructor at exit still finds it.
struct Label {
    bool known = false;
    std::array<char, 32> text{};
};

thread_local Label label;

}  // namespace

const std::array<char, 32>& currentThreadLabel() {
    if (!label.known) {
        label.text.fill('\0');
        if (getpid() == gettid()) {
            std::strcpy(label.text.data(), "main");
        } else if (pthread_getname_np(pthread_self(), label.text.data(), label.text.size()) != 0 ||
                   label.text[0] == '\0') {
            std::snprintf(label.text.data(), label.text.size(), "%ld", static_cast<long>(gettid()));
        }
        label.known = true;
    }
    return label.text;
}

void forgetCurrentThreadLabel() {
    label.known = false;
}

}  // namespace lumberjack::detail
