#pragma once

// Answering the uninstaller's terminal dialogs as a user does.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "support/ProgramSession.h"
#include "support/Uninstaller.h"

namespace pellin::test {

// How long the first dialog may take to show: far beyond the display probe's two seconds, so
// that only a stall (which lasts forever) or a crash misses it.
inline constexpr std::chrono::seconds kFirstDialogLimit{10};

// Confirms in the first dialog, doing `whileAsked` while it waits for the answer, answers the
// second (showing `resultMessage`) with Return, and returns the program's wait status.
inline int confirmAndAcknowledge(ProgramSession& session, const char* resultMessage,
                                 const std::function<void()>& whileAsked = {}) {
    if (!session.waitFor(kConfirmationMessage, kFirstDialogLimit) || !session.waitFor(kPromptEnd)) {
        ADD_FAILURE() << "no confirmation dialog:\n" << session.shown();
        return session.finish(std::chrono::seconds(0));
    }
    if (whileAsked) {
        whileAsked();
    }
    session.type("1\n");
    EXPECT_TRUE(session.waitFor(resultMessage)) << session.shown();
    EXPECT_TRUE(session.waitFor(kPromptEnd)) << session.shown();
    session.type("\n");
    return session.finish();
}

}  // namespace pellin::test
