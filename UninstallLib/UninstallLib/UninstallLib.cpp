#include "UninstallLib.h"

#include <PellinLog/PellinLogCall.h>

#include "UninstallCommand.h"

UninstallResult UninstallLib::uninstall() {
    PELLIN_METHOD("+[UninstallLib uninstall]");
    DDLogDebug("Start %@", pellinMethod.selector());
    UninstallResult result = UninstallCommand::executeUninstallCommand();
    DDLogDebug("End %@", pellinMethod.selector());
    return result;
}
