#pragma once

// The two quoting layers a shell command passes through on its way into a script: first each
// word is quoted for the shell, then the whole shell text is embedded in an AppleScript string
// literal. Each layer undoes exactly the other's escapes, so any text survives both.

#include <string>
#include <string_view>

namespace applescript {

// The text between the double quotes of an AppleScript string literal: "\" and the double
// quote are escaped, every other character (line breaks included) stands for itself.
std::string escapeStringLiteral(std::string_view text);

// `text` as a complete AppleScript string literal, double quotes included.
std::string stringLiteral(std::string_view text);

// `text` as one shell word that the shell takes literally, as AppleScript's "quoted form of":
// single quotes around it, each single quote inside written as '\''.
std::string quotedForm(std::string_view text);

}  // namespace applescript
