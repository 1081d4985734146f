#pragma once

// The removal script's run, checked around the shell: refused before it starts when the shell
// would not remove every item (so that nothing at all is removed), and judged afterwards by
// whether the items are gone, since the shell's status is only its last command's.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <PellinAppleScript/ScriptExecutor.h>

namespace uninstall_detail {

class CheckedRemoval final : public applescript::ScriptExecutor {
  public:
    // `items`: the absolute paths the script removes. A null `inner` runs the real shell.
    CheckedRemoval(std::shared_ptr<applescript::ScriptExecutor> inner,
                   std::vector<std::string> items);

    std::optional<std::string> executeAndReturnError(std::string_view source,
                                                     foundation::Dictionary* errorInfo) override;

  private:
    std::shared_ptr<applescript::ScriptExecutor> inner_;
    std::vector<std::string> items_;
};

}  // namespace uninstall_detail
