#!/usr/bin/env bash
# The recorder against `ffmpeg -i URL -c copy` on the same live HLS stream,
# in the same run.
#   bench/hls_vs_ffmpeg.sh [build dir] [seconds]   (defaults: build, 30)
# ffmpeg writes a live HLS presentation of a 128 kbit/s AAC tone (MPEG-TS
# segments of 2 s) into a folder that nginx serves on a free loopback port;
# both recorders then record it for the same time. Prints CPU time
# (user+sys), peak RSS and bytes on disk of each, and the ratios.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
seconds=${2:-30}
work=$(mktemp -d /tmp/vexa-bench-hls.XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/www" "$work/temp"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat >"$work/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $work/nginx.pid;
error_log $work/error.log warn;
events { worker_connections 64; }
http {
  access_log off;
  client_body_temp_path $work/temp/body; proxy_temp_path $work/temp/proxy;
  fastcgi_temp_path $work/temp/fastcgi; uwsgi_temp_path $work/temp/uwsgi; scgi_temp_path $work/temp/scgi;
  types { application/vnd.apple.mpegurl m3u8; video/mp2t ts; }
  server { listen 127.0.0.1:$port; root $work/www; }
}
CONF
nginx -p "$work" -c "$work/nginx.conf" -e "$work/error.log" &
pids+=($!)
ffmpeg -hide_banner -loglevel error -re -f lavfi -i sine=frequency=440:sample_rate=44100 \
  -c:a aac -b:a 128k -f hls -hls_time 2 -hls_list_size 6 -hls_flags delete_segments \
  "$work/www/live.m3u8" &
pids+=($!)
url="http://127.0.0.1:$port/live.m3u8"
for _ in $(seq 1 200); do
  [ "$(grep -c '\.ts$' "$work/www/live.m3u8" 2>/dev/null || echo 0)" -ge 2 ] && curl -sf -o /dev/null "$url" && break
  sleep 0.1
done

# Both run for the same time; the recorder's settle wait (1 s) comes after.
"$build/bench/run_measured" "$work/rec.time" \
  "$build/bin/grablive" "$url" "$work/rec" $((seconds * 1000)) >"$work/rec.out" &
rec_pid=$!
"$build/bench/run_measured" "$work/ffmpeg.time" \
  ffmpeg -hide_banner -loglevel error -y -i "$url" -t "$seconds" -c copy -f mpegts "$work/ffmpeg.ts" || true
wait "$rec_pid" || true

read -r ru rs rm < <(tail -n1 "$work/rec.time")
read -r fu fs fm < <(tail -n1 "$work/ffmpeg.time")
rec_bytes=$(stat -c %s "$work/rec.ts" 2>/dev/null || echo 0)
ff_bytes=$(stat -c %s "$work/ffmpeg.ts" 2>/dev/null || echo 0)
awk -v ru="$ru" -v rs="$rs" -v rm="$rm" -v fu="$fu" -v fs="$fs" -v fm="$fm" \
    -v rb="$rec_bytes" -v fb="$ff_bytes" -v s="$seconds" 'BEGIN {
  rc = ru + rs; fc = fu + fs;
  printf "stream: 128 kbit/s AAC in 2 s MPEG-TS segments, HLS on loopback, %d s\n", s;
  printf "%-10s %10s %10s %12s\n", "", "cpu s", "peak KB", "bytes";
  printf "%-10s %10.4f %10d %12d\n", "grablive", rc, rm, rb;
  printf "%-10s %10.4f %10d %12d\n", "ffmpeg", fc, fm, fb;
  printf "ratio recorder/ffmpeg: cpu %s, peak RSS %s\n", (fc > 0 ? sprintf("%.2f", rc / fc) : "n/a"), (fm > 0 ? sprintf("%.2f", rm / fm) : "n/a");
}'
echo "recorder printed: $(tail -n1 "$work/rec.out")"
