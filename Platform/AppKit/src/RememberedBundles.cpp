#include "RememberedBundles.h"

#include <map>
#include <mutex>

namespace appkit::detail {
namespace {

struct Store {
    std::mutex mutex;
    std::map<std::string, BundleIdentity, std::less<>> bundles;
};

Store& store() {
    static Store instance;
    return instance;
}

}  // namespace

void RememberedBundles::remember(const BundleIdentity& bundle) {
    Store& s = store();
    const std::lock_guard lock(s.mutex);
    s.bundles.insert_or_assign(bundle.bundlePath, bundle);
}

std::optional<BundleIdentity> RememberedBundles::lookup(const std::string& bundlePath) {
    Store& s = store();
    const std::lock_guard lock(s.mutex);
    const auto it = s.bundles.find(bundlePath);
    if (it == s.bundles.end()) {
        return std::nullopt;
    }
    return it->second;
}

}  // namespace appkit::detail
