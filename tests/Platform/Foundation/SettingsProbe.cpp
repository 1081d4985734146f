// A second program of the same user, for the tests that share a settings domain between
// processes. It takes HOME from its environment, like any program of the product.
//
//   SettingsProbe get DOMAIN KEY...            each value's description, "(null)" if none
//   SettingsProbe set DOMAIN KEY TEXT          stores the text
//   SettingsProbe write-many DOMAIN PREFIX N   stores PREFIX-0 = 0 ... PREFIX-(N-1) = N-1
//   SettingsProbe getUserId | getProductInformation | setupLogger
//                                              the shared library's answer (for setupLogger,
//                                              the log level after the logger's start-up)
#include <PellinFoundation/UserDefaults.h>
#include <PellinLog/PellinLogLevel.h>
#include <PellinLog/PellinLogger.h>
#include <UserDefaultConfigurationLib/UserDefaultConfigurationLib.h>

#include <iostream>
#include <string>
#include <string_view>

int main(int argc, char** argv) {
    using Lib = UserDefaultConfigurationLib;
    const std::string_view command = argc > 1 ? argv[1] : "";
    if (command == "getUserId" || command == "getProductInformation" || command == "setupLogger") {
        if (command == "setupLogger") {
            PellinLogger::setup();
        }
        std::cout << (command == "getUserId" ? Lib::getUserId()
                      : command == "getProductInformation"
                          ? std::to_string(Lib::getProductInformation())
                          : std::to_string(ddLogLevel))
                  << std::endl;
        return 0;
    }
    const auto defaults = argc > 3 ? foundation::UserDefaults::initWithSuiteName(argv[2]) : nullptr;
    if (!defaults) {
        return 2;
    }
    if (command == "get") {
        for (int i = 3; i < argc; ++i) {
            std::cout << defaults->objectForKey(argv[i]).description() << std::endl;
        }
    } else if (command == "set" && argc == 5) {
        defaults->setObject(foundation::Value(argv[4]), argv[3]);
    } else if (command == "write-many" && argc == 5) {
        for (long i = 0; i < std::stol(argv[4]); ++i) {
            defaults->setObject(foundation::Value(i),
                                std::string(argv[3]) + "-" + std::to_string(i));
        }
    } else {
        return 2;
    }
    return 0;
}
