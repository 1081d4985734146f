#include "RememberedApplications.h"

#include <map>
#include <mutex>

namespace appkit::detail {
namespace {

struct Store {
    std::mutex mutex;
    std::map<ProcessStamp, BundleIdentity> identities;
};

Store& store() {
    static Store instance;
    return instance;
}

}  // namespace

void RememberedApplications::remember(const ProcessStamp& stamp, const BundleIdentity& identity) {
    Store& s = store();
    const std::lock_guard lock(s.mutex);
    s.identities.insert_or_assign(stamp, identity);
}

std::optional<BundleIdentity> RememberedApplications::lookup(const ProcessStamp& stamp) {
    Store& s = store();
    const std::lock_guard lock(s.mutex);
    const auto it = s.identities.find(stamp);
    if (it == s.identities.end()) {
        return std::nullopt;
    }
    return it->second;
}

}  // namespace appkit::detail
