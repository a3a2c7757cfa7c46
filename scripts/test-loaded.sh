#!/usr/bin/env bash
# Runs the whole suite of the normal build (build/) and of the ASan/UBSan
# build (build-asan/, without the nosan tests) ROUNDS times (default 3) on
# a busy machine, as test.sh runs them but niced and two at a time. When
# the one-minute load is below 4, stress-ng keeps two CPUs busy meanwhile.
# The builds must exist (./test.sh makes them). Prints the load before each
# run; ends non-zero when any run failed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
. scripts/env.sh
. scripts/sanitizer-env.sh
rounds=${1:-3}
if awk '{ exit !($1 < 4) }' /proc/loadavg; then
  stress-ng --cpu 2 --timeout 6h --quiet &
  stress=$!
  trap 'kill "$stress" 2>/dev/null || true; wait "$stress" 2>/dev/null || true' EXIT
  echo "== stress-ng --cpu 2 (pid $stress)"
fi
status=0
for round in $(seq "$rounds"); do
  for build in build build-asan; do
    args=(--timeout 600)
    [ "$build" = build-asan ] && args=(--timeout 900 -LE nosan)
    echo "== round $round, $build, load $(cut -d' ' -f1-3 /proc/loadavg)"
    (cd "$build" && nice ctest -j2 --output-on-failure "${args[@]}") || status=1
  done
done
echo "== done, load $(cut -d' ' -f1-3 /proc/loadavg)"
exit $status
