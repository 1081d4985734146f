// Figures of the uninstaller run as a user runs it. Each run is a fresh process in a fresh home;
// only the span named by each benchmark is timed (manual time), not the setting up around it.
//
//   time to the first dialog   start of the process until the confirmation is on screen
//   peak memory                the program's maximum resident set (counter "peak_rss_kib")
//
// The removal of a large product is measured in RemovalBench.cpp.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "TemporaryHome.h"
#include "support/ProgramSession.h"
#include "support/Uninstaller.h"
#include "support/VirtualDisplay.h"

namespace {

namespace fs = std::filesystem;
using namespace pellin::test;
using Clock = std::chrono::steady_clock;

void pointAtBuildTree() {
    setenv("PELLIN_BUILD_DIR", PELLIN_BUILD_DIRECTORY, 0);
}

double seconds(Clock::duration span) {
    return std::chrono::duration<double>(span).count();
}

void reportPeak(benchmark::State& state, long peakKib) {
    state.counters["peak_rss_kib"] = benchmark::Counter(static_cast<double>(peakKib));
}

void BM_FirstDialogOnTerminal(benchmark::State& state) {
    pointAtBuildTree();
    long peak = 0;
    for (auto _ : state) {
        TemporaryHome home;
        ProgramSession session(uninstallerSession(home.path()));
        if (!session.waitFor(kPromptEnd)) {
            state.SkipWithError("the confirmation never showed");
            return;
        }
        state.SetIterationTime(seconds(Clock::now() - session.startedAt()));
        session.type("\n");
        session.finish();
        peak = std::max(peak, session.usage().ru_maxrss);
    }
    reportPeak(state, peak);
}
BENCHMARK(BM_FirstDialogOnTerminal)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_FirstDialogInQtWindow(benchmark::State& state) {
    pointAtBuildTree();
    if (!VirtualDisplay::toolsInstalled()) {
        state.SkipWithError("Xvfb or xdotool is not installed");
        return;
    }
    const VirtualDisplay display;
    if (!display.available()) {
        state.SkipWithError("Xvfb did not start");
        return;
    }
    long peak = 0;
    for (auto _ : state) {
        TemporaryHome home;
        ProgramSession session(
            uninstallerSession(home.path(), {display.environmentEntry()}, false));
        // Polled through xdotool, so the figure includes up to one poll's delay.
        if (!display.waitForNewFocusedWindow("PellinUninstaller", {})) {
            const std::string why =
                "the confirmation window never showed; the program said: " + session.shown();
            state.SkipWithError(why.c_str());
            return;
        }
        state.SetIterationTime(seconds(Clock::now() - session.startedAt()));
        display.press({"Return"});
        session.finish();
        peak = std::max(peak, session.usage().ru_maxrss);
    }
    reportPeak(state, peak);
}
BENCHMARK(BM_FirstDialogInQtWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace
