// A second program of the same user: it reads the shared domain in a process of its own, with
// none of the registered defaults of the test that starts it, and prints what it finds.
//   SharedDomainReader object <key>...      the stored value's description, "(null)" if none
//   SharedDomainReader getUserId            the library's answer
//   SharedDomainReader getProductInformation
//   SharedDomainReader setupLogger           the log level mask after the logger's start-up
#include <PellinLog/PellinLogLevel.h>
#include <PellinLog/PellinLogger.h>
#include <UserDefaultConfigurationLib/UserDefaultConfigurationLib.h>

#include <cstdio>
#include <string>
#include <string_view>

int main(int argc, char** argv) {
    if (argc < 2) {
        return 2;
    }
    const std::string_view command = argv[1];
    std::string out;
    if (command == "object") {
        const auto defaults = UserDefaultConfigurationLib::findPellinUserDefault();
        if (!defaults) {
            return 3;
        }
        for (int i = 2; i < argc; ++i) {
            out += defaults->objectForKey(argv[i]).description() + "\n";
        }
    } else if (command == "getUserId") {
        out = UserDefaultConfigurationLib::getUserId() + "\n";
    } else if (command == "getProductInformation") {
        out = UserDefaultConfigurationLib::getProductInformation() ? "1\n" : "0\n";
    } else if (command == "setupLogger") {
        PellinLogger::setup();
        out = std::to_string(ddLogLevel) + "\n";
    } else {
        return 2;
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}
