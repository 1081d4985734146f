#pragma once

#include <string>
#include <string_view>

namespace uninstall_detail {

// `path` as exactly one shell word that names exactly that path, whatever it holds (blanks,
// quotes, "$", backquotes, ";", line breaks). A leading "~/" stays outside the quotes so that
// the shell still expands it to the home folder; everything after it is quoted. A path that
// begins with "-" gets "./" in front, so that no command ever reads it as an option.
std::string shellWord(std::string_view path);

}  // namespace uninstall_detail
