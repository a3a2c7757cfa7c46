#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test twice: a normal
# build (build/) and an AddressSanitizer + UndefinedBehaviorSanitizer build
# (build-asan/). Then the capture library's fuzz programs (build-fuzz/,
# clang-14 with libFuzzer) run a few seconds each, and the tests of the
# capture library and the recorders run under ThreadSanitizer (build-tsan/).
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
. scripts/env.sh
jobs=$(nproc)

status=0
echo "== formatting (.clang-format) of the changed C++ files"
scripts/check-format.sh || status=1

# A compiler cache, where one is installed, makes rebuilds of clean clones cheap.
cache=()
if command -v ccache >/dev/null 2>&1; then
  cache=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  # Paths relative to the checkout, so that every clone shares the cache.
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${cache[@]}" >/dev/null
cmake --build build -j"$jobs"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVEXA_SANITIZE=ON "${cache[@]}" >/dev/null
cmake --build build-asan -j"$jobs"

. scripts/sanitizer-env.sh

echo "== tests (normal build)"
(cd build && ctest --output-on-failure -j"$jobs" --timeout 600) || status=1
echo "== tests (ASan + UBSan build)"
(cd build-asan && ctest --output-on-failure -j"$jobs" --timeout 900 -LE nosan) || status=1

echo "== fuzz build and short runs"
CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVEXA_FUZZ=ON "${cache[@]}" >/dev/null
cmake --build build-fuzz -j"$jobs"
fuzz/run_short.sh build-fuzz 5 || status=1

echo "== tests (ThreadSanitizer build: capture library and recorders)"
# -O1 -g1 halves the build time against RelWithDebInfo; reports keep file and line.
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_FLAGS="-O1 -g1" \
  -DCMAKE_C_FLAGS="-O1 -g1" -DVEXA_SANITIZE_THREAD=ON -DVEXA_BUILD_PLAYER=OFF "${cache[@]}" >/dev/null
cmake --build build-tsan -j"$jobs"
# ThreadSanitizer's fixed memory layout can clash with a randomized mapping
# ("unexpected memory mapping"); the tests run with randomization off where
# the system allows it.
norandom=()
if setarch "$(uname -m)" -R true 2>/dev/null; then norandom=(setarch "$(uname -m)" -R); fi
(cd build-tsan && TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:${TSAN_OPTIONS:-}" \
  "${norandom[@]}" ctest --output-on-failure -j"$jobs" --timeout 900 -L 'capture|hostile|realpeer|recorder') \
  || status=1
exit $status
