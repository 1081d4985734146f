// A program of another project that uses the installed Pellin libraries.
#include <PellinLog/PellinLogCall.h>

#include <cstdio>
#include <string_view>

int main() {
    PELLIN_METHOD("+[Consumer main]");
    static_assert(pellinMethod.selector() == "main");
    DDLogInfo("Consumer %@ %d", "ready", 1);
    lumberjack::DDLog::flushLog();
    std::puts(ddLogLevel == 7 ? "level 7" : "unexpected level");
    return ddLogLevel == 7 ? 0 : 1;
}
