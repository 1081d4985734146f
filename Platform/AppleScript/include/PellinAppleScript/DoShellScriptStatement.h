#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace applescript {

// The one statement the runner understands, as read from a script's source.
struct DoShellScriptStatement {
    std::string shellText;
    bool withAdministratorPrivileges = false;

    friend bool operator==(const DoShellScriptStatement&, const DoShellScriptStatement&) = default;
};

// The outcome of reading a source: the statement, or why it is not one.
struct DoShellScriptParse {
    std::optional<DoShellScriptStatement> statement;
    std::string failure;  // a message that says what was expected; empty on success
};

// Reads `do shell script "<literal>"` with an optional `with administrator privileges`.
// Keywords are matched without regard to case and may be separated by blanks or tabs; blank
// lines may surround the statement. The literal understands \" \\ \n \r and \t; any other
// escape, a missing closing quote or anything after the statement makes the source invalid.
DoShellScriptParse parseDoShellScript(std::string_view source);

}  // namespace applescript
