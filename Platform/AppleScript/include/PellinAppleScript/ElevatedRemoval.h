#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <PellinAppleScript/ShellHost.h>

namespace applescript {

// Why a shell with administrator rights on `host` would refuse to remove `path`, or nothing
// when it would remove it: the rule its rm applies at the moment of removal (see
// elevatedShellScript()), asked beforehand so that a caller can refuse a whole run before
// anything is removed. `path` must lie inside the absolute home of `host`, which must belong to
// `host.owner`, and every folder between the home and the item must be a folder of that owner,
// not a symbolic link. A folder that does not exist holds nothing to remove: no refusal.
std::optional<std::string> elevatedRemovalRefusal(std::string_view path, const ShellHost& host);

}  // namespace applescript
