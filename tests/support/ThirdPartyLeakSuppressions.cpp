// Linked into the test programs that open Qt windows. LeakSanitizer asks the program for these
// when it is built with it (and nothing calls this otherwise): fontconfig, under Qt's font
// database, and D-Bus, under Qt's desktop integration on a real X server, drop a few
// allocations of their own that nothing of ours can free. Visible, so that
// the sanitizer runtime finds it despite -fvisibility=hidden.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libdbus-1.so\n";
}
