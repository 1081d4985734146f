#include <PellinAppKit/UnavailableAlertPresenter.h>

#include <cstdio>

#include <PellinAppKit/Alert.h>

namespace appkit {

ModalResponse UnavailableAlertPresenter::runModal(const Alert& alert) {
    // Without this line a user who started the program from a script would never learn why
    // it did nothing.
    std::fprintf(stderr, "No display and no terminal to ask on; not shown: %s\n",
                 alert.messageText().c_str());
    return kModalResponseAbort;
}

}  // namespace appkit
