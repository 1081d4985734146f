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
    char text[32] = {};
};

thread_local Label label;

}  // namespace

const char* currentThreadLabel() {
    if (!label.known) {
        if (getpid() == gettid()) {
            std::strcpy(label.text, "main");
        } else if (pthread_getname_np(pthread_self(), label.text, sizeof label.text) != 0 ||
                   label.text[0] == '\0') {
            std::snprintf(label.text, sizeof label.text, "%ld", static_cast<long>(gettid()));
        }
        label.known = true;
    }
    return label.text;
}

void forgetCurrentThreadLabel() {
    label.known = false;
}

}  // namespace lumberjack::detail
