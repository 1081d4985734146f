// Built without position-independent code, so the linker copies the exported version number into
// it: prints that and the network alert's text, which must still be the framework's own.

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
