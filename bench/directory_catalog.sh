#!/usr/bin/env bash
# bench/directory_catalog.sh [build] [stations]: the station directory on a
# saved Radio Browser export of 50,000 stations (bench/station_export):
# start-up until it answers, the time of list and station pages (median
# and worst of 20 requests each, with curl over loopback), and the
# directory's peak memory (VmHWM) after them.
set -euo pipefail
build=${1:-build}
count=${2:-50000}
cd "$(dirname "$0")/.."
work=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
"$build/bench/station_export" "$work/export.json" "$count"
echo "export: $count stations, $(($(stat -c %s "$work/export.json") / 1024 / 1024)) MB"

t0=$(date +%s.%N)
"$build/bin/station-directory" --port 0 --stations "$work/export.json" --cache "$work/cache" \
    --hitlog "$work/hitlog.tsv" >"$work/log" 2>&1 &
pid=$!
port=
for _ in $(seq 1 600); do
  port=$(sed -n 's|^station-directory: listening on http://127\.0\.0\.1:\([0-9]*\)/.*|\1|p' "$work/log")
  [ -n "$port" ] && break
  sleep 0.01
done
[ -n "$port" ] || { cat "$work/log"; exit 1; }
curl -s -o /dev/null "http://127.0.0.1:$port/ap/location.asp"
t1=$(date +%s.%N)
ticks=$(getconf CLK_TCK)
cpu=$(awk -v t="$ticks" '{printf "%.2f", ($14 + $15) / t}' "/proc/$pid/stat")
echo "start-up: $(echo "$t1 - $t0" | bc) s wall, $cpu s CPU (until the first list page answered);" \
     "$(sed -n 's/.*(\([0-9]* stations\).*/\1/p' "$work/log") listed"

first_id=$(awk -F'\t' 'NR==1 {print $1}' "$work/cache/station-ids.tsv")
pages=(
  "ap/location.asp"
  "ap/genre.asp"
  "ap/location.asp?sel=Country%200"
  "ap/location.asp?sel=Country%200&page=40"
  "ap/genre.asp?sel=tag0&page=3"
  "ap/location.asp?q=jazz%20rock"
  "apgb/location.asp?sel=Country%200&q=%E9%9B%BB%E5%8F%B0&pick=$first_id"
  "ap/lisradio.asp?radioid=$first_id"
)
printf '%-62s %9s %9s\n' page "median ms" "worst ms"
for page in "${pages[@]}"; do
  times=()
  for _ in $(seq 1 20); do
    times+=("$(curl -s -o /dev/null -w '%{time_total}' "http://127.0.0.1:$port/$page")")
  done
  sorted=$(printf '%s\n' "${times[@]}" | sort -n)
  median=$(echo "$sorted" | sed -n 10p)
  worst=$(echo "$sorted" | tail -n 1)
  printf '%-62s %9.1f %9.1f\n' "$page" "$(echo "$median * 1000" | bc)" "$(echo "$worst * 1000" | bc)"
done
echo "memory: peak $(awk '/^VmHWM/ {print $2, $3}' "/proc/$pid/status"), now $(awk '/^VmRSS/ {print $2, $3}' "/proc/$pid/status")"
