#!/usr/bin/env bash
# Starts the bundled station directory in the background and waits until it
# answers. Prints the directory's process id on standard output.
#
#   scripts/run-directory.sh [BUILD_DIR] [station-directory options...]
#
# BUILD_DIR defaults to build/. Options go to station-directory as they are
# (--port N, --stations FILE, --radio-browser [URL], --include-broken,
# --hitlog FILE, --cache DIR). The log is
# BUILD_DIR/station-directory.log.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
if [ $# -gt 0 ] && [ "${1#--}" = "$1" ]; then
  build=$1
  shift
fi
program="$build/bin/station-directory"
if [ ! -x "$program" ]; then
  echo "run-directory: $program not built" >&2
  exit 1
fi

log="$build/station-directory.log"
"$program" "$@" >"$log" 2>&1 &
pid=$!

# Wait (at most 10 s) for the line naming the address, then for a
# connection to it; give up if the program exits.
for _ in $(seq 1 100); do
  if ! kill -0 "$pid" 2>/dev/null; then
    echo "run-directory: station-directory exited; see $log" >&2
    cat "$log" >&2
    exit 1
  fi
  port=$(sed -n 's|^station-directory: listening on http://127\.0\.0\.1:\([0-9]*\)/.*|\1|p' "$log")
  if [ -n "$port" ] && (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
    echo "$pid"
    exit 0
  fi
  sleep 0.1
done
echo "run-directory: no answer from station-directory; see $log" >&2
kill "$pid" 2>/dev/null || true
exit 1
