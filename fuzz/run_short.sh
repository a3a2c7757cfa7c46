#!/usr/bin/env bash
# Runs every fuzz program of a fuzz build for a few seconds each, on a copy
# of its seeds, inside a network namespace that has only loopback.
#   fuzz/run_short.sh BUILD_DIR [SECONDS]      (default 5 seconds a program)
# Fails when a program finds a crash (the input is kept in
# BUILD_DIR/fuzz-short/findings/) or does not run; prints each program's
# executions.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
[ $# -ge 1 ] || { echo "usage: $0 BUILD_DIR [SECONDS]" >&2; exit 2; }
build=$(cd "$1" && pwd)
seconds=${2:-5}
if [ "${VEXA_LOOPBACK_NETNS:-}" != 1 ]; then
  exec "$here/../tests/capture/in_loopback_netns.sh" "$here/run_short.sh" "$build" "$seconds"
fi

work="$build/fuzz-short"
rm -rf "$work"
mkdir -p "$work/findings"
shopt -s nullglob
programs=("$build"/fuzz/fuzz_*)
[ ${#programs[@]} -gt 0 ] || { echo "run_short: no fuzz programs in $build/fuzz" >&2; exit 1; }
status=0
for program in "${programs[@]}"; do
  [ -x "$program" ] || continue
  name=$(basename "$program")
  mkdir -p "$work/corpus/$name"
  [ -d "$here/corpus/$name" ] && cp -r "$here/corpus/$name/." "$work/corpus/$name/"
  options=()
  [ -f "$here/$name.options" ] && mapfile -t options < <(grep -v -E '^\s*(#|$)' "$here/$name.options")
  log="$work/$name.log"
  if "$program" "${options[@]}" -max_total_time="$seconds" -timeout=25 -print_final_stats=1 \
       -artifact_prefix="$work/findings/$name-" "$work/corpus/$name" >"$log" 2>&1; then
    result=ok
  else
    result=FAILED
    status=1
  fi
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  printf '%-24s %-6s %10s execs in %ss\n' "$name" "$result" "${execs:-?}" "$seconds"
  if [ "$result" = FAILED ]; then
    tail -n 40 "$log" >&2
  fi
done
if [ $status -ne 0 ]; then
  echo "run_short: crash inputs are in $work/findings/" >&2
fi
exit $status
