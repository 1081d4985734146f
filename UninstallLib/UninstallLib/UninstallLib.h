#pragma once

#include "UninstallResult.h"

// What the uninstaller application calls, once, after the user has confirmed.
class UninstallLib {
  public:
    UninstallLib() = delete;

    // Removes the product from the current user's account; the result says how it went.
    static UninstallResult uninstall();
};
