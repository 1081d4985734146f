#include <PellinAppleScript/Quoting.h>

namespace applescript {

std::string escapeStringLiteral(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (const char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
        }
        out += c;
    }
    return out;
}

std::string stringLiteral(std::string_view text) {
    return '"' + escapeStringLiteral(text) + '"';
}

std::string quotedForm(std::string_view text) {
    std::string out = "'";
    for (const char c : text) {
        if (c == '\'') {
            // Close the quote, add an escaped quote, open again: inside single quotes nothing,
            // not even a backslash, is special, so this is the only way to write one.
            out += "'\\''";
        } else {
            out += c;
        }
    }
    out += '\'';
    return out;
}

}  // namespace applescript
