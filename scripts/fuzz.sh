#!/usr/bin/env bash
# Builds the fuzz preset and runs every fuzz target for a bounded time (FUZZ_SECONDS, default
# 30) on a copy of its seed corpus. Fails on the first crash, leak or hang.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-30}
cmake --preset fuzz >/dev/null
# Only the fuzz targets and what they link: the rest of the tree is built by the other presets.
mapfile -t targets < <(awk '{print $1}' build/fuzz/fuzz-targets.txt)
cmake --build --preset fuzz --target "${targets[@]}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home
mkdir -p "$HOME"
while read -r name corpus; do
  [ -n "$name" ] || continue
  mkdir -p "$work/$name"
  cp -r "$corpus"/. "$work/$name"/ 2>/dev/null || true
  echo "== fuzzing $name for ${seconds}s"
  build/fuzz/bin/"$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$work/$name-" "$work/$name" 2>"$work/$name.log" || {
    tail -n 40 "$work/$name.log"
    for artifact in "$work/$name"-*; do
      [ -e "$artifact" ] && { echo "reproducer: $artifact"; base64 "$artifact"; }
    done
    exit 1
  }
  grep -E '^(#[0-9]+\s+DONE|Done [0-9]+ runs)' "$work/$name.log" | tail -n 1 | sed "s/^/$name: /"
done <build/fuzz/fuzz-targets.txt
