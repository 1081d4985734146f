#include "RegisteredDefaults.h"

#include <mutex>
#include <shared_mutex>

namespace foundation::settings_detail {
namespace {

struct Registry {
    std::shared_mutex mutex;
    Dictionary values;
};

// Never destroyed: a thread that reads a default while the process ends must not find it gone.
Registry& registry() {
    static Registry* const instance = new Registry;
    return *instance;
}

}  // namespace

void registerDefaults(const Dictionary& defaults) {
    Registry& r = registry();
    const std::unique_lock lock(r.mutex);
    for (const auto& [key, value] : defaults) {
        if (value.isNone()) {
            r.values.erase(key);
        } else {
            r.values.insert_or_assign(key, value);
        }
    }
}

std::optional<Value> registeredDefault(std::string_view key) {
    Registry& r = registry();
    const std::shared_lock lock(r.mutex);
    const auto found = r.values.find(key);
    if (found == r.values.end()) {
        return std::nullopt;
    }
    return found->second;
}

}  // namespace foundation::settings_detail
