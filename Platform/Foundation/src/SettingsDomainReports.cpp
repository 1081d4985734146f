#include "SettingsDomainReports.h"

#include <map>
#include <mutex>
#include <utility>

namespace foundation::settings_detail {
namespace {

// A file rewritten again and again by a program that puts the same bad entry in it, while
// nobody takes the reports, must not grow this process without bound.
constexpr std::size_t kMostDroppedEntriesKept = 64;

struct Reports {
    std::optional<Error> failed;
    std::vector<DroppedEntry> dropped;
};

struct Registry {
    std::mutex mutex;
    std::map<std::string, Reports, std::less<>> domains;
};

// Never destroyed, so that a writer on another thread never meets it gone at exit.
Registry& registry() {
    static Registry* const instance = new Registry;
    return *instance;
}

}  // namespace

void recordFailedChange(const std::string& path, const Error& cause) {
    Registry& r = registry();
    const std::lock_guard lock(r.mutex);
    std::optional<Error>& failed = r.domains[path].failed;
    if (!failed) {
        failed = cause;
    }
}

std::optional<Error> takeFailedChange(const std::string& path) {
    Registry& r = registry();
    const std::lock_guard lock(r.mutex);
    const auto found = r.domains.find(path);
    if (found == r.domains.end()) {
        return std::nullopt;
    }
    return std::exchange(found->second.failed, std::nullopt);
}

void recordDroppedEntries(const std::string& path, const std::vector<DroppedEntry>& dropped) {
    if (dropped.empty()) {
        return;
    }
    Registry& r = registry();
    const std::lock_guard lock(r.mutex);
    std::vector<DroppedEntry>& pending = r.domains[path].dropped;
    for (const DroppedEntry& entry : dropped) {
        if (pending.size() < kMostDroppedEntriesKept) {
            pending.push_back(entry);
        }
    }
}

std::vector<DroppedEntry> takeDroppedEntries(const std::string& path) {
    Registry& r = registry();
    const std::lock_guard lock(r.mutex);
    const auto found = r.domains.find(path);
    if (found == r.domains.end()) {
        return {};
    }
    return std::exchange(found->second.dropped, {});
}

}  // namespace foundation::settings_detail
