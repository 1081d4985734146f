#include "RememberedBundles.h"

#include <PellinFoundation/ProcessWide.h>

#include <map>

namespace appkit::detail {
namespace {

using Bundles = std::map<std::string, BundleIdentity, std::less<>>;

foundation::detail::ProcessWide<Bundles>& bundles() {
    static foundation::detail::ProcessWide<Bundles> instance;
    return instance;
}

}  // namespace

void RememberedBundles::remember(const BundleIdentity& bundle) {
    bundles().locked([&](Bundles& known) { known.insert_or_assign(bundle.bundlePath, bundle); });
}

std::optional<BundleIdentity> RememberedBundles::lookup(const std::string& bundlePath) {
    return bundles().locked([&](const Bundles& known) -> std::optional<BundleIdentity> {
        const auto it = known.find(bundlePath);
        if (it == known.end()) {
            return std::nullopt;
        }
        return it->second;
    });
}

}  // namespace appkit::detail
