#!/usr/bin/env bash
# The recorder against curl on the same loopback stream, in the same run.
#   bench/record_vs_curl.sh [build dir] [seconds]   (defaults: build, 20)
# Prints CPU time (user+sys), peak RSS and bytes on disk of each, and the
# recorder/curl ratios. The stream is a 128 kbit/s MP3 made with ffmpeg.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
seconds=${2:-20}
. "$root/bench/loopback_stream.sh"
url="$stream_base/bench.mp3"

# Both run for the same time; the recorder's settle wait (1 s) comes after.
"$build/bench/run_measured" "$work/rec.time" \
  "$build/bin/grablive" "$url" "$work/rec" $((seconds * 1000)) >"$work/rec.out" &
rec_pid=$!
"$build/bench/run_measured" "$work/curl.time" \
  curl -s --max-time "$seconds" -o "$work/curl.mp3" "$url" || true
wait "$rec_pid" || true

read -r ru rs rm < <(tail -n1 "$work/rec.time")
read -r cu cs cm < <(tail -n1 "$work/curl.time")
rec_bytes=$( (cat "$work"/rec.mp3 "$work"/rec.wma 2>/dev/null || true) | wc -c)
curl_bytes=$(stat -c %s "$work/curl.mp3" 2>/dev/null || echo 0)
awk -v ru="$ru" -v rs="$rs" -v rm="$rm" -v cu="$cu" -v cs="$cs" -v cm="$cm" \
    -v rb="${rec_bytes:-0}" -v cb="$curl_bytes" -v s="$seconds" 'BEGIN {
  rc = ru + rs; cc = cu + cs;
  printf "stream: 128 kbit/s MP3 on loopback, %d s\n", s;
  printf "%-10s %10s %10s %12s\n", "", "cpu s", "peak KB", "bytes";
  printf "%-10s %10.4f %10d %12d\n", "grablive", rc, rm, rb;
  printf "%-10s %10.4f %10d %12d\n", "curl", cc, cm, cb;
  printf "ratio recorder/curl: cpu %s, peak RSS %s\n", (cc > 0 ? sprintf("%.2f", rc / cc) : "n/a"), (cm > 0 ? sprintf("%.2f", rm / cm) : "n/a");
}'
echo "recorder printed: $(tail -n1 "$work/rec.out")"
