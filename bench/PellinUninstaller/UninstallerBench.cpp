// Figures of the uninstaller run as a user runs it. Each run is a fresh process in a fresh home;
// only the span named by each benchmark is timed (manual time), not the setting up around it.
//
//   time to the first dialog   start of the process until the confirmation is on screen, of the
//                              program as `cmake --install` lays it out in a temporary prefix
//                              (PELLIN_BENCH_PREFIX names another installed tree to measure
//                              instead, such as an earlier version's); the median of 20 runs
//   peak memory                the program's largest resident set up to the first dialog
//                              (counter "peak_rss_kib", VmHWM: the program alone, without the
//                              benchmark's pages that the forked child held before it started
//                              the program, which the rusage figure would count)
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
#include <vector>

#include "TemporaryHome.h"
#include "support/InstalledTree.h"
#include "support/TemporaryUser.h"
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

// The installed program: PELLIN_BENCH_PREFIX's, or this build's installed once per process.
std::optional<fs::path> installedProgram(benchmark::State& state) {
    if (const char* prefix = std::getenv("PELLIN_BENCH_PREFIX")) {
        return fs::path(prefix) / "bin/PellinUninstaller";
    }
    pointAtBuildTree();
    static const InstalledTree tree;
    if (!tree.installed()) {
        state.SkipWithError(("cmake --install failed: " + tree.output()).c_str());
        return std::nullopt;
    }
    return tree.program();
}

SessionOptions installedSession(const fs::path& program, const fs::path& home,
                                const std::vector<std::string>& environment = {},
                                bool terminal = true, std::optional<RunAs> runAs = std::nullopt) {
    SessionOptions options = uninstallerSession(home, environment, terminal, runAs);
    options.arguments.front() = program.string();
    return options;
}

// Start to the terminal's confirmation, and the run's peak memory, for one run of `options`.
void timeTerminalDialog(benchmark::State& state, SessionOptions options) {
    ProgramSession session(std::move(options));
    if (!session.waitFor(kPromptEnd)) {
        state.SkipWithError(("the confirmation never showed: " + session.shown()).c_str());
        return;
    }
    state.SetIterationTime(seconds(Clock::now() - session.startedAt()));
    reportPeak(state, session.peakResidentKib());
    session.type("\n");
    session.finish();
}

void BM_FirstDialogOnTerminal(benchmark::State& state) {
    const std::optional<fs::path> program = installedProgram(state);
    if (!program) {
        return;
    }
    for (auto _ : state) {
        TemporaryHome home;
        timeTerminalDialog(state, installedSession(*program, home.path()));
    }
}
BENCHMARK(BM_FirstDialogOnTerminal)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(20)
    ->ReportAggregatesOnly(true);

// The same with 200 other programs of the user running, each from an application bundle of its
// own (half binaries, half "#!" scripts), all of which the start-up looks at. Run as a user made
// for the benchmark, so that the machine's other processes are only counted, not looked into.
void BM_FirstDialogWithTwoHundredProcesses(benchmark::State& state) {
    const std::optional<fs::path> program = installedProgram(state);
    if (!program) {
        return;
    }
    if (!TemporaryUser::possibleHere()) {
        state.SkipWithError("making a user needs root, useradd, userdel and sudo");
        return;
    }
    const TemporaryUser user("bench");
    if (!user.ready()) {
        state.SkipWithError("could not create a user");
        return;
    }
    std::vector<FakeProcess> processes;
    for (int i = 0; i < 200; ++i) {
        const std::string name = "Program" + std::to_string(i);
        processes.push_back(FakeProcess::start(
            createFakeBundle(user.home() / "Applications", name, "com.example." + name,
                             i % 2 == 0 ? ProgramKind::Binary : ProgramKind::Script),
            user.runAs()));
    }
    for (auto _ : state) {
        timeTerminalDialog(state, installedSession(*program, user.home(), {}, true, user.runAs()));
    }
}
BENCHMARK(BM_FirstDialogWithTwoHundredProcesses)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(20)
    ->ReportAggregatesOnly(true);

void BM_FirstDialogInQtWindow(benchmark::State& state) {
    const std::optional<fs::path> program = installedProgram(state);
    if (!program) {
        return;
    }
    if (!VirtualDisplay::toolsInstalled()) {
        state.SkipWithError("Xvfb or xdotool is not installed");
        return;
    }
    const VirtualDisplay display;
    if (!display.available()) {
        state.SkipWithError("Xvfb did not start");
        return;
    }
    for (auto _ : state) {
        TemporaryHome home;
        ProgramSession session(
            installedSession(*program, home.path(), {display.environmentEntry()}, false));
        // Polled through xdotool, so the figure includes up to one poll's delay.
        if (!display.waitForNewFocusedWindow("PellinUninstaller", {})) {
            const std::string why =
                "the confirmation window never showed; the program said: " + session.shown();
            state.SkipWithError(why.c_str());
            return;
        }
        state.SetIterationTime(seconds(Clock::now() - session.startedAt()));
        reportPeak(state, session.peakResidentKib());
        display.press({"Return"});
        session.finish();
    }
}
BENCHMARK(BM_FirstDialogInQtWindow)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(20)
    ->ReportAggregatesOnly(true);

}  // namespace
