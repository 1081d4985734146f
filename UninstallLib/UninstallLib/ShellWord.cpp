#include "ShellWord.h"

#include <PellinAppleScript/Quoting.h>

namespace uninstall_detail {

std::string shellWord(std::string_view path) {
    if (path.starts_with("~/")) {
        return "~/" + applescript::quotedForm(path.substr(2));
    }
    if (path.starts_with('-')) {
        return applescript::quotedForm("./" + std::string(path));
    }
    return applescript::quotedForm(path);
}

}  // namespace uninstall_detail
