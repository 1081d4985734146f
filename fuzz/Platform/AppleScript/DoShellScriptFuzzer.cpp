// Reads the input as a script source, and checks that any text embedded as a string literal
// reads back unchanged: the removal script's paths must reach the shell exactly as quoted.
#include <PellinAppleScript/DoShellScriptStatement.h>
#include <PellinAppleScript/Quoting.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    const applescript::DoShellScriptParse parsed = applescript::parseDoShellScript(input);
    if (parsed.statement.has_value() == !parsed.failure.empty()) {
        std::abort();  // exactly one of statement and failure
    }

    const std::string source =
        "do shell script " + applescript::stringLiteral(input) + " with administrator privileges";
    const applescript::DoShellScriptParse embedded = applescript::parseDoShellScript(source);
    if (!embedded.statement || embedded.statement->shellText != input ||
        !embedded.statement->withAdministratorPrivileges) {
        std::abort();
    }
    return 0;
}
