#!/usr/bin/env bash
# bench/player_pss.sh [build]: memory of the player with the engine and the
# web engine both up. Runs the end-to-end listening test (the real assembly:
# Qt WebEngine pages, libVLC playing the directory's MP3 and ASX stations)
# and samples the PSS of its process and all its children (web engine
# processes) every 200 ms; prints the peak and the samples' median.
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
. scripts/env.sh
test=$PWD/$build/tests/player/listen_e2e_nosan_test
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && QT_QPA_PLATFORM=offscreen "$test" >"$work/log" 2>&1) &
runner=$!
tree_pss() {  # PSS in kB of a process and its descendants (the test's X server and
  # the ffmpeg that makes its media excluded: they are the test's, not the player's)
  local total=0 p
  case "$(cat "/proc/$1/comm" 2>/dev/null)" in Xvfb|ffmpeg) echo 0; return ;; esac
  for p in $(pgrep -P "$1"); do total=$((total + $(tree_pss "$p"))); done
  local own
  own=$(awk '/^Pss:/ {print $2}' "/proc/$1/smaps_rollup" 2>/dev/null || echo 0)
  echo $((total + ${own:-0}))
}
samples=()
while kill -0 "$runner" 2>/dev/null; do
  samples+=("$(tree_pss "$runner")")
  sleep 0.2
done
wait "$runner" && result=passed || result=failed
printf '%s\n' "${samples[@]}" | sort -n | awk -v r="$result" '
  {v[NR]=$1} END {printf "player PSS over %d samples: peak %.1f MB, median %.1f MB (test %s)\n",
                  NR, v[NR]/1024, v[int((NR+1)/2)]/1024, r}'
