#!/usr/bin/env bash
# Long fuzz runs of the capture library's parsers.
#   fuzz/run_long.sh [MINUTES] [TARGET...]   (default 10 minutes, every target)
# Builds the fuzz tree build-fuzz/ (clang-14) when needed, runs the targets
# (at most nproc at once; FUZZ_JOBS=N sets another number) inside a loopback-only network namespace, grows
# each corpus in build-fuzz/corpus-work/TARGET/ (kept between runs, outside
# git; the seeds in fuzz/corpus/TARGET/ are read, never written), writes
# crash inputs to build-fuzz/findings/TARGET/ and logs to
# build-fuzz/fuzz-logs/, and prints a summary table.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build="$root/build-fuzz"
minutes=${1:-10}
[ $# -gt 0 ] && shift
case "$minutes" in *[!0-9]*|''|0) echo "usage: $0 [MINUTES] [TARGET...]" >&2; exit 2 ;; esac

if [ "${VEXA_LOOPBACK_NETNS:-}" != 1 ]; then
  # Build outside the namespace (the compiler cache may live anywhere).
  cache=()
  if command -v ccache >/dev/null 2>&1; then
    cache=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=true
  fi
  if [ ! -f "$build/CMakeCache.txt" ]; then
    CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DVEXA_FUZZ=ON "${cache[@]}" >/dev/null
  fi
  cmake --build "$build" -j"$(nproc)"
  exec "$root/tests/capture/in_loopback_netns.sh" "$here/run_long.sh" "$minutes" "$@"
fi

if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for p in "$build"/fuzz/fuzz_*; do [ -x "$p" ] && targets+=("$(basename "$p")"); done
fi
[ ${#targets[@]} -gt 0 ] || { echo "run_long: no fuzz targets" >&2; exit 1; }
for t in "${targets[@]}"; do
  [ -x "$build/fuzz/$t" ] || { echo "run_long: no target $t in $build/fuzz" >&2; exit 2; }
done

mkdir -p "$build/corpus-work" "$build/findings" "$build/fuzz-logs"
seconds=$((minutes * 60))

run_one() {
  local t=$1 start end options=()
  mkdir -p "$build/corpus-work/$t" "$build/findings/$t"
  [ -f "$here/$t.options" ] && mapfile -t options < <(grep -v -E '^\s*(#|$)' "$here/$t.options")
  local seeds=()
  [ -d "$here/corpus/$t" ] && seeds=("$here/corpus/$t")
  start=$(date +%s)
  "$build/fuzz/$t" "${options[@]}" -max_total_time="$seconds" -timeout=25 -print_final_stats=1 \
    -artifact_prefix="$build/findings/$t/" "$build/corpus-work/$t" "${seeds[@]}" \
    >"$build/fuzz-logs/$t.log" 2>&1 || true
  end=$(date +%s)
  echo $((end - start)) >"$build/fuzz-logs/$t.seconds"
}

# At most nproc targets at once, or FUZZ_JOBS.
slots=${FUZZ_JOBS:-$(nproc)}
running=0
for t in "${targets[@]}"; do
  if [ "$running" -ge "$slots" ]; then
    wait -n || true
    running=$((running - 1))
  fi
  echo "run_long: $t for $minutes min"
  run_one "$t" &
  running=$((running + 1))
done
wait || true

status=0
printf '%-24s %8s %12s %8s %9s\n' target seconds execs corpus findings
for t in "${targets[@]}"; do
  log="$build/fuzz-logs/$t.log"
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  corpus=$(find "$build/corpus-work/$t" -type f | wc -l)
  findings=$(find "$build/findings/$t" -type f | wc -l)
  [ "$findings" -eq 0 ] || status=1
  printf '%-24s %8s %12s %8s %9s\n' "$t" "$(cat "$build/fuzz-logs/$t.seconds")" "${execs:-?}" \
    "$corpus" "$findings"
done
[ $status -eq 0 ] || echo "run_long: findings in $build/findings/ (logs in $build/fuzz-logs/)"
exit $status
