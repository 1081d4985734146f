"""Turns the benchmarks' JSON results into bench/README.md (see scripts/bench-report.sh)."""
import json
import os
import platform
import re
import subprocess
import sys


def load(folder):
    runs = {}
    context = None
    for name in sorted(os.listdir(folder)):
        with open(os.path.join(folder, name)) as f:
            data = json.load(f)
        context = context or data.get("context", {})
        runs[name[:-5]] = data.get("benchmarks", [])
    return runs, context


def short(name):
    """The benchmark's own name, without Google Benchmark's run settings."""
    return re.sub(r"/(iterations|repeats|min_time|manual_time|real_time)[^/]*", "", name)


def representative(rows):
    """One row per benchmark: the median of repetitions where there are several."""
    chosen = {}
    for row in rows:
        base = short(row.get("run_name", row["name"]))
        if row.get("aggregate_name") == "median" or base not in chosen:
            if row.get("run_type") == "aggregate" and row.get("aggregate_name") != "median":
                continue
            chosen[base] = row
    return chosen


def counters(row):
    skip = {"name", "run_name", "run_type", "repetitions", "repetition_index", "threads",
            "iterations", "real_time", "cpu_time", "time_unit", "family_index",
            "per_family_instance_index", "aggregate_name", "aggregate_unit"}
    return {k: v for k, v in row.items() if k not in skip and isinstance(v, (int, float))}


def fmt(value):
    if abs(value) >= 100:
        return f"{value:,.0f}"
    if abs(value) >= 1:
        return f"{value:.2f}"
    return f"{value:.3g}"


def machine(context):
    cpu = "unknown processor"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    cpu = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    memory = subprocess.run(["free", "-h"], capture_output=True, text=True).stdout.splitlines()
    total = memory[1].split()[1] if len(memory) > 1 else "?"
    load = os.getloadavg()[0]
    return (f"{os.cpu_count()} cores ({cpu}), {total} memory, Linux {platform.release()}, "
            f"load average {load:.1f} when the report was written; "
            f"{context.get('num_cpus', '?')} CPUs at {context.get('mhz_per_cpu', '?')} MHz as "
            f"Google Benchmark saw them.")


def main():
    runs, context = load(sys.argv[1])
    rows = {}
    for bench, results in runs.items():
        # In the order the benchmarks were registered, whatever order interleaving ran them in.
        chosen = sorted(representative(results).items(),
                        key=lambda item: (item[1].get("family_index", 0),
                                          item[1].get("per_family_instance_index", 0)))
        for name, row in chosen:
            rows[name] = row

    out = ["# Benchmarks", "",
           "Written by `scripts/bench-report.sh` (release build). Figures come from one run on",
           "one machine: compare the ratios, which were measured side by side in the same run,",
           "rather than the absolute numbers.", "",
           "Machine: " + machine(context), "", "## Comparisons", "",
           "| what | ours | reference | ours against the reference |", "|---|---|---|---|"]

    def compare(label, ours, theirs, field, unit, higher_is_better):
        if ours not in rows or theirs not in rows:
            return
        a, b = rows[ours].get(field), rows[theirs].get(field)
        if not a or not b:
            return
        ratio = a / b
        speedup = ratio if higher_is_better else 1 / ratio
        verdict = (f"ours {speedup:.2f}× as fast" if speedup >= 1
                   else f"ours takes {1 / speedup:.2f}× as long")
        out.append(f"| {label} | {fmt(a)} {unit} | {fmt(b)} {unit} | {verdict} |")

    compare("log lines per second, one producer, file sink vs spdlog async file",
            "Throughput/Pellin", "Throughput/Spdlog", "lines_per_s", "lines/s", True)
    compare("caller-side median of one enabled asynchronous call vs spdlog",
            "CallerSide/Pellin", "CallerSide/Spdlog", "median_ns", "ns", False)
    compare("open + read one key of a 1,000-key domain vs QSettings",
            "UserDefaultsOpenAndReadOneKey", "QSettingsOpenAndReadOneKey", "real_time",
            rows.get("UserDefaultsOpenAndReadOneKey", {}).get("time_unit", ""), False)

    def unit_of(name):
        return rows.get(name, {}).get("time_unit", "")

    for where in ("tmpfs", "disk"):
        compare(f"open + set one key of a 1,000-key domain vs a bare write + rename of a file "
                f"of the same size ({where})",
                f"UserDefaultsOpenAndSetOneKey/{where}", f"BareWriteAndRenameOfTheSameSize/{where}",
                "real_time", unit_of(f"UserDefaultsOpenAndSetOneKey/{where}"), False)
    compare("open + set one key of a 1,000-key domain vs QSettings (disk)",
            "UserDefaultsOpenAndSetOneKey/disk", "QSettingsOpenAndSetOneKey", "real_time",
            unit_of("QSettingsOpenAndSetOneKey"), False)
    compare("uninstall of a 10,000-file product vs rm -rf of the same tree (tmpfs)",
            "BM_UninstallTenThousandFileProduct", "BM_RmRfOfTheSameTree", "real_time", "ms", False)
    compare("uninstall of a 10,000-file product vs rm -rf of the same tree (disk)",
            "BM_UninstallTenThousandFileProductOnDisk", "BM_RmRfOfTheSameTreeOnDisk", "real_time",
            "ms", False)

    out += ["", "## A run of the installed program", "",
            "| what | start to the first dialog (median) | peak resident set |", "|---|---|---|"]
    for label, name in (("terminal run", "BM_FirstDialogOnTerminal"),
                        ("terminal run, 200 applications of the user running",
                         "BM_FirstDialogWithTwoHundredProcesses"),
                        ("Qt window on a virtual X display", "BM_FirstDialogInQtWindow")):
        if name in rows:
            row = rows[name]
            rss = row.get("peak_rss_kib")
            out.append(f"| {label} | {fmt(row['real_time'])} {row.get('time_unit', '')} | "
                       f"{fmt(rss / 1024) + ' MiB' if rss else 'not measured'} |")

    for bench, results in runs.items():
        out += ["", f"## {bench}", "", "| benchmark | real time | CPU time | counters |",
                "|---|---|---|---|"]
        # In the order the benchmarks were registered, whatever order interleaving ran them in.
        chosen = sorted(representative(results).items(),
                        key=lambda item: (item[1].get("family_index", 0),
                                          item[1].get("per_family_instance_index", 0)))
        for name, row in chosen:
            unit = row.get("time_unit", "")
            extra = ", ".join(f"{k} {fmt(v)}" for k, v in counters(row).items())
            out.append(f"| {name} | {fmt(row['real_time'])} {unit} | "
                       f"{fmt(row['cpu_time'])} {unit} | {extra} |")
    print("\n".join(out))


if __name__ == "__main__":
    main()
