#pragma once

#include <cstdint>
#include <memory>

#include <PellinAppKit/Alert.h>

// The uninstaller's three dialogs, built from the application's own string table (its main
// bundle) and returned unshown; the caller runs each and reads the pressed button.
class PellinUninstallerAlert {
  public:
    PellinUninstallerAlert() = delete;

    // "Uninstall?" with OK (1000, confirms; only a click) and Cancel (1001, the Return key).
    static std::unique_ptr<appkit::Alert> createUninstallAlert();
    // The failed removal, with the error number after the explanation unless it is 0.
    static std::unique_ptr<appkit::Alert> createUninstallErrorAlert(std::int16_t errorNumber);
    // The finished removal, with one OK button.
    static std::unique_ptr<appkit::Alert> createUninstallCompAlert();
};
