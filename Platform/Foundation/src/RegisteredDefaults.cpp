#include "RegisteredDefaults.h"

#include <PellinFoundation/ProcessWide.h>

namespace foundation::settings_detail {
namespace {

detail::ProcessWide<Dictionary, std::shared_mutex>& registry() {
    static detail::ProcessWide<Dictionary, std::shared_mutex> instance;
    return instance;
}

}  // namespace

void registerDefaults(const Dictionary& defaults) {
    registry().locked([&](Dictionary& values) {
        for (const auto& [key, value] : defaults) {
            if (value.isNone()) {
                values.erase(key);
            } else {
                values.insert_or_assign(key, value);
            }
        }
    });
}

std::optional<Value> registeredDefault(std::string_view key) {
    return registry().shared([&](const Dictionary& values) -> std::optional<Value> {
        const auto found = values.find(key);
        return found == values.end() ? std::nullopt : std::optional<Value>(found->second);
    });
}

}  // namespace foundation::settings_detail
