#pragma once

// PellinAppKit's Qt presenter module, libPellinAppKitQt.so: everything of PellinAppKit that needs
// Qt (the Qt application and its loop, the alert window), in a file of its own that is loaded
// only once a display has been verified. A run on a terminal never maps Qt, and a machine
// without the module (or without Qt) still asks on the terminal.
//
// The module lies in the folder "pellin" beside libPellinAppKit, in the build tree as under an
// installed prefix (lib/pellin/libPellinAppKitQt.so), and is found from where the dynamic
// loader found libPellinAppKit, never through the environment.

#include <optional>
#include <string>

#include <PellinAppKit/Application.h>
#include <PellinAppKit/ModalResponse.h>

namespace appkit {
class Alert;
}

namespace appkit::detail {

inline constexpr const char* kQtModuleFolder = "pellin";
inline constexpr const char* kQtModuleFileName = "libPellinAppKitQt.so";

// Raised whenever QtModuleInterface changes, so that a module of another build is refused
// rather than called through a table it does not have.
inline constexpr int kQtModuleInterfaceVersion = 1;

struct QtModuleInterface {
    int version;
    // Whether Qt's plugin file for a platform ("libqxcb.so") is installed where Qt looks.
    bool (*platformPluginInstalled)(const char* pluginFile);
    // Creates the Qt application on `platform`, makes the delegate and runs Qt's loop, which
    // calls applicationDidFinishLaunching once; 1 at once when the factory makes no delegate.
    int (*runApplication)(int argc, char** argv, const std::string& platform,
                          const DelegateFactory& makeDelegate);
    // Shows `alert` in a modal window on `platform`, creating the Qt application when the
    // process has none: the pressed button, or kModalResponseAbort for a window ended without
    // one; nothing when this thread cannot show windows.
    std::optional<ModalResponse> (*runModal)(const Alert& alert, const std::string& platform);
};

// The one symbol the module exports: a function without arguments that answers its table.
inline constexpr const char* kQtModuleEntryPoint = "PellinAppKitQtModule";
using QtModuleEntryPoint = const QtModuleInterface* (*)();

// The module, loaded on the first call; nullptr when it is missing or refused, which is said
// once on standard error. It is refused unless both it and its folder belong to root or to the
// user the process runs as and nobody else may write to them: a program that may run with
// administrator rights must not load code that another user has placed.
const QtModuleInterface* qtModule();

}  // namespace appkit::detail
