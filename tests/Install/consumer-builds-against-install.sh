#!/usr/bin/env bash
# usage: consumer-builds-against-install.sh <build-dir> <consumer-source-dir> <generator>
set -euo pipefail
build=$1 source=$2 generator=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >"$work/install.log"

fail() { echo "FAIL: $*"; exit 1; }
for lib in PellinLog PellinCommonFramework; do
  real=$(readlink -f "$prefix/lib/lib$lib.so")
  [ "${real##*/}" = "lib$lib.so.1.0.0" ] || fail "lib$lib.so does not resolve to lib$lib.so.1.0.0 (got $real)"
  soname=$(objdump -p "$real" | awk '/SONAME/ {print $2}')
  [ "$soname" = "lib$lib.so.1" ] || fail "lib$lib SONAME is '$soname', not lib$lib.so.1"
done
[ -f "$prefix/lib/cmake/Pellin/PellinConfig.cmake" ] || fail "no CMake package installed"

cmake -S "$source" -B "$work/consumer" -G "$generator" -DCMAKE_PREFIX_PATH="$prefix" >"$work/configure.log" ||
  { cat "$work/configure.log"; fail "the consumer does not configure against the installed package"; }
cmake --build "$work/consumer" >"$work/build.log" 2>&1 ||
  { cat "$work/build.log"; fail "the consumer does not build against the installed package"; }

export HOME=$work/home
mkdir -p "$HOME"
"$work/consumer/consumer" || fail "the consumer program failed"
echo "the consumer built and ran against $prefix"
