#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test twice: a normal
# build (build/) and an AddressSanitizer + UndefinedBehaviorSanitizer build
# (build-asan/).
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
. scripts/env.sh
jobs=$(nproc)
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

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:${LSAN_OPTIONS:-}"

status=0
echo "== tests (normal build)"
(cd build && ctest --output-on-failure -j"$jobs" --timeout 600) || status=1
echo "== tests (ASan + UBSan build)"
(cd build-asan && ctest --output-on-failure -j"$jobs" --timeout 900 -LE nosan) || status=1
exit $status
