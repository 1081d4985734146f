#include "SettingsDomainChange.h"

#include <iterator>
#include <vector>

#include "XmlPropertyListWriter.h"

namespace foundation::settings_detail {
namespace {

// The file `bytes`, whose entries lie at `bounds`, with the entry at `index` (present or not)
// replaced by `entry` (empty for a removal); `nextBounds` receives where the entries now lie.
std::string splice(const std::string& bytes, const std::vector<std::size_t>& bounds,
                   std::size_t index, bool present, std::string_view entry,
                   std::vector<std::size_t>& nextBounds) {
    const std::size_t begin = bounds[index];
    const std::size_t end = present ? bounds[index + 1] : begin;
    std::string next;
    next.reserve(bytes.size() - (end - begin) + entry.size());
    next.append(bytes, 0, begin);
    next.append(entry);
    next.append(bytes, end);

    nextBounds.reserve(bounds.size() + 1);
    nextBounds.assign(bounds.begin(), bounds.begin() + static_cast<std::ptrdiff_t>(index) + 1);
    if (!entry.empty()) {
        nextBounds.push_back(begin + entry.size());  // where the following entry now begins
    }
    for (std::size_t j = present ? index + 2 : index + 1; j < bounds.size(); ++j) {
        nextBounds.push_back(bounds[j] - end + begin + entry.size());
    }
    return next;
}

}  // namespace

bool changesSomething(const Dictionary& values, const DomainChange& change) {
    const auto found = values.find(change.key);
    if (change.value == nullptr) {
        return found != values.end();
    }
    return found == values.end() || !(found->second == *change.value);
}

std::optional<DomainSnapshot> applyChange(DomainSnapshot current, const DomainChange& change) {
    const Dictionary& before = current.values();
    const auto at = before.lower_bound(change.key);
    const bool present = at != before.end() && at->first == change.key;
    const auto index = static_cast<std::size_t>(std::distance(before.begin(), at));
    // The entries' bounds in a file this process wrote; an empty domain is written whole, and
    // so is a set that comes without its entry.
    const std::vector<std::size_t>* bounds = current.entryBounds.get();
    const bool spliced = bounds != nullptr && current.bytes != nullptr &&
                         bounds->size() == before.size() + 1 &&
                         (change.value != nullptr ? !change.entry.empty() : before.size() > 1);

    DomainSnapshot next;
    next.kind = DomainSnapshot::Kind::Valid;
    std::vector<std::size_t> nextBounds;
    if (spliced) {
        next.bytes = std::make_shared<const std::string>(
            splice(*current.bytes, *bounds, index, present, change.entry, nextBounds));
    }

    next.root = current.root.use_count() == 1 ? std::move(current.root)
                                              : std::make_shared<Value>(Dictionary(before));
    Dictionary& values = *next.root->mutableDictionary();
    if (change.value != nullptr) {
        values.insert_or_assign(std::string(change.key), *change.value);
    } else if (const auto found = values.find(change.key); found != values.end()) {
        values.erase(found);
    }

    if (!spliced) {
        std::optional<std::string> bytes = plist_detail::xmlDomainFile(values, nextBounds);
        if (!bytes) {
            return std::nullopt;
        }
        next.bytes = std::make_shared<const std::string>(std::move(*bytes));
    }
    if (!nextBounds.empty()) {
        next.entryBounds = std::make_shared<const std::vector<std::size_t>>(std::move(nextBounds));
    }
    return next;
}

}  // namespace foundation::settings_detail
