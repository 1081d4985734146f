// A second program of the same user, for the tests that share a settings domain between
// processes. It takes HOME from its environment, like any program of the product.
//
//   SettingsDomainHelper get DOMAIN KEY              prints the text of KEY, or "(none)"
//   SettingsDomainHelper set DOMAIN KEY VALUE        stores the text VALUE
//   SettingsDomainHelper write-many DOMAIN PREFIX N  stores PREFIX-0 = 0 ... PREFIX-(N-1) = N-1
//   SettingsDomainHelper write-forever DOMAIN KEY    stores KEY = 0, 1, 2, ... until killed

#include <PellinFoundation/UserDefaults.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>

int main(int argc, char** argv) {
    if (argc < 4) {
        return 2;
    }
    const std::string_view command = argv[1];
    const auto defaults = foundation::UserDefaults::initWithSuiteName(argv[2]);
    if (!defaults) {
        return 3;
    }
    if (command == "get") {
        std::cout << defaults->stringForKey(argv[3]).value_or("(none)") << std::endl;
        return 0;
    }
    if (command == "set" && argc == 5) {
        defaults->setObject(foundation::Value(argv[4]), argv[3]);
        return 0;
    }
    if (command == "write-many" && argc == 5) {
        const long count = std::strtol(argv[4], nullptr, 10);
        for (long i = 0; i < count; ++i) {
            defaults->setObject(foundation::Value(i),
                                std::string(argv[3]) + "-" + std::to_string(i));
        }
        return 0;
    }
    if (command == "write-forever") {
        for (long i = 0;; ++i) {
            defaults->setObject(foundation::Value(i), argv[3]);
        }
    }
    return 2;
}
