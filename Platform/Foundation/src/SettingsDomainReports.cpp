#include "SettingsDomainReports.h"

#include <map>
#include <utility>

#include <PellinFoundation/ProcessWide.h>

namespace foundation::settings_detail {
namespace {

// A file rewritten again and again by a program that puts the same bad entry in it, while
// nobody takes the reports, must not grow this process without bound.
constexpr std::size_t kMostDroppedEntriesKept = 64;

struct Reports {
    std::optional<Error> failed;
    std::vector<DroppedEntry> dropped;
};

using Domains = std::map<std::string, Reports, std::less<>>;

detail::ProcessWide<Domains>& registry() {
    static detail::ProcessWide<Domains> instance;
    return instance;
}

}  // namespace

void recordFailedChange(const std::string& path, const Error& cause) {
    registry().locked([&](Domains& domains) {
        std::optional<Error>& failed = domains[path].failed;
        if (!failed) {
            failed = cause;
        }
    });
}

std::optional<Error> takeFailedChange(const std::string& path) {
    return registry().locked([&](Domains& domains) -> std::optional<Error> {
        const auto found = domains.find(path);
        return found == domains.end() ? std::nullopt
                                      : std::exchange(found->second.failed, std::nullopt);
    });
}

void recordDroppedEntries(const std::string& path, const std::vector<DroppedEntry>& dropped) {
    if (dropped.empty()) {
        return;
    }
    registry().locked([&](Domains& domains) {
        std::vector<DroppedEntry>& pending = domains[path].dropped;
        for (const DroppedEntry& entry : dropped) {
            if (pending.size() < kMostDroppedEntriesKept) {
                pending.push_back(entry);
            }
        }
    });
}

std::vector<DroppedEntry> takeDroppedEntries(const std::string& path) {
    return registry().locked([&](Domains& domains) -> std::vector<DroppedEntry> {
        const auto found = domains.find(path);
        return found == domains.end() ? std::vector<DroppedEntry>{}
                                      : std::exchange(found->second.dropped, {});
    });
}

}  // namespace foundation::settings_detail
