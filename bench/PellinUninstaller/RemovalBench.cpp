// How long removing a large product takes: an uninstall run as a user runs it (confirmation typed
// until the completion dialog shows) with a 10,000-file resident application, and beside it a
// bare rm -rf of the same tree. Each run is a fresh process in a fresh home; only that span is
// timed (manual time).
//
// The plain names run with the home on a tmpfs (/dev/shm), where the file system costs least and
// our own work shows most; the "OnDisk" pair runs in the temporary folder (TMPDIR or /tmp) when
// that lies on a disk.

#include <benchmark/benchmark.h>
#include <linux/magic.h>
#include <sys/vfs.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "TemporaryHome.h"
#include "support/Uninstaller.h"

namespace {

namespace fs = std::filesystem;
using namespace pellin::test;
using Clock = std::chrono::steady_clock;

constexpr int kFolders = 100;
constexpr int kFilesPerFolder = 100;
constexpr const char* kTmpfs = "/dev/shm";

enum class Medium { Tmpfs, Disk };

double seconds(Clock::duration span) {
    return std::chrono::duration<double>(span).count();
}

bool onTmpfs(const fs::path& folder) {
    struct statfs info {};
    return ::statfs(folder.c_str(), &info) == 0 && info.f_type == TMPFS_MAGIC;
}

// A fresh home on `medium`: TemporaryHome takes its folder from TMPDIR.
class HomeOn {
  public:
    explicit HomeOn(Medium medium) {
        if (const char* previous = std::getenv("TMPDIR")) {
            previous_ = previous;
        }
        if (medium == Medium::Tmpfs) {
            setenv("TMPDIR", kTmpfs, 1);
        }
        home_.emplace();
        restore();
    }
    HomeOn(const HomeOn&) = delete;
    HomeOn& operator=(const HomeOn&) = delete;

    const fs::path& path() const { return home_->path(); }

  private:
    void restore() {
        if (previous_) {
            setenv("TMPDIR", previous_->c_str(), 1);
        } else {
            unsetenv("TMPDIR");
        }
    }

    std::optional<std::string> previous_;
    std::optional<TemporaryHome> home_;
};

// Why `medium` cannot be measured here, or nothing.
std::optional<std::string> unavailable(Medium medium) {
    if (medium == Medium::Tmpfs && !onTmpfs(kTmpfs)) {
        return std::string(kTmpfs) + " is not a tmpfs";
    }
    if (medium == Medium::Disk && onTmpfs(fs::temp_directory_path())) {
        return "the temporary folder is a tmpfs; set TMPDIR to a folder on a disk";
    }
    return std::nullopt;
}

// kFolders x kFilesPerFolder small files under `root`.
void fillTree(const fs::path& root) {
    for (int folder = 0; folder < kFolders; ++folder) {
        const fs::path dir = root / ("Part" + std::to_string(folder));
        fs::create_directories(dir);
        for (int file = 0; file < kFilesPerFolder; ++file) {
            std::ofstream(dir / ("resource" + std::to_string(file) + ".dat")) << "pellin\n";
        }
    }
}

void uninstallOn(benchmark::State& state, Medium medium) {
    if (const auto why = unavailable(medium)) {
        state.SkipWithError(why->c_str());
        return;
    }
    setenv("PELLIN_BUILD_DIR", PELLIN_BUILD_DIRECTORY, 0);
    // A confirmed run quits the user's first product applications: not while a test runs its own.
    const ExclusiveRun exclusive;
    long peak = 0;
    for (auto _ : state) {
        const HomeOn home(medium);
        if (!installTrialProduct(home.path())) {
            state.SkipWithError("the trial product could not be laid out");
            return;
        }
        fillTree(home.path() / "Library/Pellin/Pellin.app/Contents/Resources");
        ProgramSession session(uninstallerSession(home.path()));
        if (!session.waitFor(kPromptEnd)) {
            state.SkipWithError("the confirmation never showed");
            return;
        }
        const Clock::time_point confirmed = Clock::now();
        session.type("1\n");
        if (!session.waitFor(kCompletionMessage, std::chrono::seconds(120))) {
            state.SkipWithError("the completion dialog never showed");
            return;
        }
        state.SetIterationTime(seconds(Clock::now() - confirmed));
        session.waitFor(kPromptEnd);
        session.type("\n");
        session.finish();
        peak = std::max(peak, session.usage().ru_maxrss);
    }
    state.counters["peak_rss_kib"] = benchmark::Counter(static_cast<double>(peak));
}

void rmRfOn(benchmark::State& state, Medium medium) {
    if (const auto why = unavailable(medium)) {
        state.SkipWithError(why->c_str());
        return;
    }
    for (auto _ : state) {
        const HomeOn home(medium);
        const fs::path tree = home.path() / "Library/Pellin";
        fillTree(tree / "Pellin.app/Contents/Resources");
        const Clock::time_point start = Clock::now();
        const ProgramRun removal = runQuietly({"/bin/rm", "-rf", tree.string()});
        state.SetIterationTime(seconds(Clock::now() - start));
        if (!exitedWith(removal.status, 0) || fs::exists(tree)) {
            state.SkipWithError("rm -rf failed");
            return;
        }
    }
}

void BM_UninstallTenThousandFileProduct(benchmark::State& state) {
    uninstallOn(state, Medium::Tmpfs);
}
void BM_RmRfOfTheSameTree(benchmark::State& state) {
    rmRfOn(state, Medium::Tmpfs);
}
void BM_UninstallTenThousandFileProductOnDisk(benchmark::State& state) {
    uninstallOn(state, Medium::Disk);
}
void BM_RmRfOfTheSameTreeOnDisk(benchmark::State& state) {
    rmRfOn(state, Medium::Disk);
}

#define PELLIN_REMOVAL_BENCHMARK(name) \
    BENCHMARK(name)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5)

// On tmpfs a run lasts about 100 ms and one slow iteration moves a mean of five by several
// percent, as much as the difference being measured: the pair runs seven times and the report
// takes the median (run with --benchmark_enable_random_interleaving, so that both sides see the
// same drift of the machine). Filling the tree on a disk takes minutes, so that pair runs once.
PELLIN_REMOVAL_BENCHMARK(BM_UninstallTenThousandFileProduct)->Repetitions(7);
PELLIN_REMOVAL_BENCHMARK(BM_RmRfOfTheSameTree)->Repetitions(7);
PELLIN_REMOVAL_BENCHMARK(BM_UninstallTenThousandFileProductOnDisk);
PELLIN_REMOVAL_BENCHMARK(BM_RmRfOfTheSameTreeOnDisk);

}  // namespace
