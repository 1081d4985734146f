#!/usr/bin/env bash
# Runs the whole test suite under AddressSanitizer + UndefinedBehaviorSanitizer, and the
# concurrency tests (label "concurrency") under ThreadSanitizer. Any report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
echo "== AddressSanitizer + UndefinedBehaviorSanitizer: whole suite"
cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan
echo "== ThreadSanitizer: concurrency tests"
cmake --preset tsan >/dev/null
cmake --build --preset tsan --target concurrency-tests
ctest --preset tsan
