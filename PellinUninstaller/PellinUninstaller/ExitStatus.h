#pragma once

// What the uninstaller's exit status tells whoever started it, a script for instance.
enum class ExitStatus : int {
    Uninstalled = 0,    // removed, or nothing of Pellin was installed
    Declined = 1,       // the confirmation was declined, or no dialog could ask
    RemovalFailed = 2,  // the privileged removal failed
    Usage = 64,         // a command line it does not take (EX_USAGE of sysexits.h)
};
