#pragma once

// Answering the uninstaller's terminal dialogs as a user does.

#include <gtest/gtest.h>

#include "support/ProgramSession.h"
#include "support/Uninstaller.h"

namespace pellin::test {

// Confirms in the first dialog, answers the second (showing `resultMessage`) with Return, and
// returns the program's wait status.
inline int confirmAndAcknowledge(ProgramSession& session, const char* resultMessage) {
    EXPECT_TRUE(session.waitFor(kConfirmationMessage)) << session.shown();
    EXPECT_TRUE(session.waitFor(kPromptEnd)) << session.shown();
    session.type("1\n");
    EXPECT_TRUE(session.waitFor(resultMessage)) << session.shown();
    EXPECT_TRUE(session.waitFor(kPromptEnd)) << session.shown();
    session.type("\n");
    return session.finish();
}

}  // namespace pellin::test
