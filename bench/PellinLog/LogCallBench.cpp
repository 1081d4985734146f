// What a log call costs the calling thread, and how many lines per second the file sink
// writes, side by side with spdlog's asynchronous file logger doing the same work:
//
//   FlagOff                  a call whose flag is not in ddLogLevel (target: at most 1 ns)
//   CallerSide/Pellin|Spdlog an enabled asynchronous call to a file sink: median and 99th
//                            percentile of single calls (target: median under 1 us)
//   Throughput/Pellin|Spdlog one producer thread, kLines lines, until all are in the file
//                            (target: at least half of spdlog's lines per second)

#include <PellinLog/LoggerFormatterClassName.h>
#include <PellinLog/PellinLogCall.h>
#include <PellinLumberjack/DDFileLogger.h>
#include <PellinLumberjack/DDLog.h>

#include <benchmark/benchmark.h>
#include <spdlog/async.h>
#include <spdlog/async_logger.h>
#include <spdlog/sinks/basic_file_sink.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kLines = 200000;
constexpr int kSampledCalls = 20000;
// The same room to run ahead for both loggers.
constexpr std::size_t kQueueSize = 1 << 16;

const std::string kPath = "/Users/someone/Library/Pellin/Pellin.app";

// A fresh HOME for each run, so that the files of one run never add to another's.
class ScratchHome {
  public:
    ScratchHome() {
        std::string pattern = (fs::temp_directory_path() / "pellin-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
            setenv("HOME", path_.c_str(), 1);
        }
    }
    ~ScratchHome() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    ScratchHome(const ScratchHome&) = delete;
    ScratchHome& operator=(const ScratchHome&) = delete;
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

// The file sink as PellinLogger::setupFileLogger installs it: default folder, size and count.
class PellinFileSink {
  public:
    PellinFileSink() : logger_(std::make_shared<lumberjack::DDFileLogger>()) {
        logger_->setLogFormatter(std::make_unique<LoggerFormatterClassName>());
        lumberjack::DDLog::addLogger(logger_);
        ddLogLevel = 7;
    }
    ~PellinFileSink() { lumberjack::DDLog::removeLogger(logger_); }
    PellinFileSink(const PellinFileSink&) = delete;
    PellinFileSink& operator=(const PellinFileSink&) = delete;

  private:
    std::shared_ptr<lumberjack::DDFileLogger> logger_;
};

// spdlog's asynchronous logger on one thread, writing one file, with a line of the same shape.
class SpdlogFileSink {
  public:
    explicit SpdlogFileSink(const fs::path& home)
        : pool_(std::make_shared<spdlog::details::thread_pool>(kQueueSize, 1)) {
        auto sink = std::make_shared<spdlog::sinks::basic_file_sink_mt>(
            (home / "Library" / "Logs" / "spdlog" / "bench.log").string(), true);
        logger_ = std::make_shared<spdlog::async_logger>("bench", std::move(sink), pool_,
                                                         spdlog::async_overflow_policy::block);
        logger_->set_pattern("%Y/%m/%d %H:%M:%S:%e [%^%l%$] [main] [%s:%# %!] %v");
    }
    // Returns once every line is in the file: the pool's thread drains its queue before it
    // ends.
    void finish() {
        logger_.reset();
        pool_.reset();
    }
    spdlog::async_logger& operator*() { return *logger_; }

  private:
    std::shared_ptr<spdlog::details::thread_pool> pool_;
    std::shared_ptr<spdlog::async_logger> logger_;
};

void pellinLine() {
    PELLIN_METHOD("+[LogCallBench pellinLine]");
    DDLogInfo("%@ isExist=%@", kPath, "YES");
}

void spdlogLine(spdlog::async_logger& logger) {
    logger.log(spdlog::source_loc{"LogCallBench.cpp", __LINE__, "+[LogCallBench spdlogLine]"},
               spdlog::level::info, "{} isExist={}", kPath, "YES");
}

// Times each call on its own, less what reading the clock twice costs.
template <class Call>
void sampleSingleCalls(benchmark::State& state, Call call) {
    std::vector<double> costs(kSampledCalls);
    std::vector<double> overhead(kSampledCalls);
    for (auto& sample : overhead) {
        const auto start = Clock::now();
        const auto end = Clock::now();
        sample = std::chrono::duration<double, std::nano>(end - start).count();
    }
    for (auto& sample : costs) {
        const auto start = Clock::now();
        call();
        const auto end = Clock::now();
        sample = std::chrono::duration<double, std::nano>(end - start).count();
    }
    std::sort(costs.begin(), costs.end());
    std::sort(overhead.begin(), overhead.end());
    const double clock = overhead[overhead.size() / 2];
    state.counters["median_ns"] = costs[costs.size() / 2] - clock;
    state.counters["p99_ns"] = costs[costs.size() * 99 / 100] - clock;
}

void FlagOff(benchmark::State& state) {
    PELLIN_METHOD("+[LogCallBench flagOff]");
    ddLogLevel = 7;
    for (auto _ : state) {
        DDLogDebug("Start %@", pellinMethod.selector());
        // Makes every iteration read ddLogLevel again, as separate calls in a program do.
        benchmark::ClobberMemory();
    }
}
BENCHMARK(FlagOff);

void CallerSidePellin(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        {
            ScratchHome home;
            PellinFileSink sink;
            state.ResumeTiming();
            sampleSingleCalls(state, [] { pellinLine(); });
            state.PauseTiming();
        }
        state.ResumeTiming();
    }
}
BENCHMARK(CallerSidePellin)->Name("CallerSide/Pellin")->Iterations(1)->Repetitions(5);

void CallerSideSpdlog(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        {
            ScratchHome home;
            SpdlogFileSink logger(home.path());
            state.ResumeTiming();
            sampleSingleCalls(state, [&logger] { spdlogLine(*logger); });
            state.PauseTiming();
            logger.finish();
        }
        state.ResumeTiming();
    }
}
BENCHMARK(CallerSideSpdlog)->Name("CallerSide/Spdlog")->Iterations(1)->Repetitions(5);

// Throughput counts until the last line is written; the caller's share ends when it has
// handed over the last line.
void recordThroughput(benchmark::State& state, Clock::time_point start,
                      Clock::time_point producerDone, Clock::time_point written) {
    const double seconds = std::chrono::duration<double>(written - start).count();
    state.SetIterationTime(seconds);
    state.counters["lines_per_s"] = kLines / seconds;
    state.counters["caller_ns_per_line"] =
        std::chrono::duration<double, std::nano>(producerDone - start).count() / kLines;
}

void ThroughputPellin(benchmark::State& state) {
    for (auto _ : state) {
        ScratchHome home;
        PellinFileSink sink;
        const auto start = Clock::now();
        for (int i = 0; i < kLines; ++i) {
            pellinLine();
        }
        const auto producerDone = Clock::now();
        lumberjack::DDLog::flushLog();
        recordThroughput(state, start, producerDone, Clock::now());
    }
}
BENCHMARK(ThroughputPellin)
    ->Name("Throughput/Pellin")
    ->Iterations(1)
    ->Repetitions(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void ThroughputSpdlog(benchmark::State& state) {
    for (auto _ : state) {
        ScratchHome home;
        SpdlogFileSink logger(home.path());
        const auto start = Clock::now();
        for (int i = 0; i < kLines; ++i) {
            spdlogLine(*logger);
        }
        const auto producerDone = Clock::now();
        logger.finish();
        recordThroughput(state, start, producerDone, Clock::now());
    }
}
BENCHMARK(ThroughputSpdlog)
    ->Name("Throughput/Spdlog")
    ->Iterations(1)
    ->Repetitions(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
