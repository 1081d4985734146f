// A program that reads the framework's exported version number the way a program built without
// position-independent code does: the linker copies the variable into the program. Prints the
// version and the message text of the network alert, which must still be the framework's own.

#include <PellinCommonFramework/PellinCommonFramework.h>

#include <cstdio>

#include "RecordingPresenter.h"

int main() {
    const auto presenter = pellin::test::RecordingPresenter::install();
    PellinAlert::showNetworkConnectionErrorAlertWithRetryButton();
    std::printf("version=%.1f\nmessage=%s\n", PellinCommonFrameworkVersionNumber,
                presenter->shown.empty() ? "" : presenter->shown.front().messageText().c_str());
    appkit::AlertPresenter::setReplacement(nullptr);
    return 0;
}
