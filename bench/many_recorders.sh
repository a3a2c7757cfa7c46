#!/usr/bin/env bash
# Many recorders at once on 128 kbit/s loopback streams.
#   bench/many_recorders.sh [build dir] [recorders] [seconds]   (build, 50, 20)
# PEER=curl runs as many curl copies instead, for comparison.
# Prints the recorders' CPU time together as a share of one core over the
# run, the largest peak RSS, and the bytes each recorded (smallest and
# largest, against what the source sent at its pace).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
count=${2:-50}
seconds=${3:-20}
. "$root/bench/loopback_stream.sh"
url="$stream_base/many.mp3"

started=$(date +%s.%N)
pids=()
for i in $(seq "$count"); do
  if [ "${PEER:-grablive}" = curl ]; then
    "$build/bench/run_measured" "$work/$i.time" \
      curl -s --max-time "$seconds" -o "$work/rec$i.mp3" "$url" &
  else
    "$build/bench/run_measured" "$work/$i.time" \
      "$build/bin/grablive" "$url" "$work/rec$i" $((seconds * 1000)) >"$work/$i.out" &
  fi
  pids+=($!)
done
wait "${pids[@]}" || true
wall=$(awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { print b - a }')

cat "$work"/*.time | awk -v n="$count" -v s="$seconds" -v wall="$wall" -v peer="${PEER:-grablive}" '
  { cpu += $1 + $2; if ($3 > rss) rss = $3 }
  END { printf "%d x " peer ", %d s: CPU %.3f s together = %.2f %% of one core over %.1f s; largest peak RSS %d KB\n",
               n, s, cpu, 100 * cpu / wall, wall, rss }'
for i in $(seq "$count"); do stat -c %s "$work/rec$i.mp3" 2>/dev/null || echo 0; done | sort -n |
  awk -v s="$seconds" 'NR == 1 { min = $1 } { max = $1; sum += $1 }
       END { printf "bytes per recording: min %d, max %d (source pace: %d bytes in %d s)\n", min, max, 16000 * s, s }'
