// PellinAlertProbe <message> <button title>...: runs one alert and prints "response=<answer>".

#include <cstdio>

#include <PellinAppKit/Alert.h>

int main(int argc, char** argv) {
    appkit::Alert alert;
    alert.setMessageText(argc > 1 ? argv[1] : "");
    for (int i = 2; i < argc; ++i) {
        alert.addButtonWithTitle(argv[i]);
    }
    std::printf("response=%ld\n", alert.runModal());
    // Written out now: a sanitizer that ends the process at exit would drop buffered output.
    std::fflush(stdout);
    return 0;
}
