#!/usr/bin/env bash
# The recorder against curl on the same loopback stream, in the same run.
#   bench/record_vs_curl.sh [build dir] [seconds]   (defaults: build, 20)
#   TLS=1 bench/record_vs_curl.sh ...               the same stream over https
# Prints CPU time (user+sys), peak RSS and bytes on disk of each, and the
# recorder/curl ratios. The stream is a 128 kbit/s MP3 made with ffmpeg;
# with TLS=1 stunnel4 serves it over TLS with a certificate from a CA made
# here with openssl, which both clients are told to trust.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
seconds=${2:-20}
. "$root/bench/loopback_stream.sh"
url="$stream_base/bench.mp3"
rec_args=()
curl_args=()
if [ "${TLS:-0}" = 1 ]; then
  key=(-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes)
  openssl req -x509 "${key[@]}" -keyout "$work/ca.key" -out "$work/ca.crt" -days 2 \
    -subj "/CN=Bench CA" 2>/dev/null
  openssl req -new "${key[@]}" -keyout "$work/srv.key" -out "$work/srv.csr" -subj "/CN=localhost" 2>/dev/null
  printf 'subjectAltName=DNS:localhost\n' >"$work/srv.ext"
  openssl x509 -req -in "$work/srv.csr" -CA "$work/ca.crt" -CAkey "$work/ca.key" -CAcreateserial \
    -out "$work/srv.crt" -days 2 -extfile "$work/srv.ext" 2>/dev/null
  cat "$work/srv.crt" "$work/srv.key" >"$work/srv.pem"
  tls_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  printf 'foreground = yes\npid =\nsyslog = no\n[bench]\naccept = 127.0.0.1:%s\nconnect = %s\ncert = %s\n' \
    "$tls_port" "${stream_base#http://}" "$work/srv.pem" >"$work/stunnel.conf"
  stunnel4 "$work/stunnel.conf" >"$work/stunnel.out" 2>&1 &
  stunnel_pid=$!
  trap 'kill "$stunnel_pid" "$source_pid" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
  for _ in $(seq 100); do (exec 3<>"/dev/tcp/127.0.0.1/$tls_port") 2>/dev/null && break; sleep 0.05; done
  url="https://localhost:$tls_port/bench.mp3"
  rec_args=(--ca-file "$work/ca.crt")
  curl_args=(--cacert "$work/ca.crt")
fi

# Both run for the same time; the recorder's settle wait (1 s) comes after.
"$build/bench/run_measured" "$work/rec.time" \
  "$build/bin/grablive" "${rec_args[@]}" "$url" "$work/rec" $((seconds * 1000)) >"$work/rec.out" &
rec_pid=$!
"$build/bench/run_measured" "$work/curl.time" \
  curl -s "${curl_args[@]}" --max-time "$seconds" -o "$work/curl.mp3" "$url" || true
wait "$rec_pid" || true

read -r ru rs rm < <(tail -n1 "$work/rec.time")
read -r cu cs cm < <(tail -n1 "$work/curl.time")
rec_bytes=$( (cat "$work"/rec.mp3 "$work"/rec.wma 2>/dev/null || true) | wc -c)
curl_bytes=$(stat -c %s "$work/curl.mp3" 2>/dev/null || echo 0)
awk -v ru="$ru" -v rs="$rs" -v rm="$rm" -v cu="$cu" -v cs="$cs" -v cm="$cm" \
    -v rb="${rec_bytes:-0}" -v cb="$curl_bytes" -v s="$seconds" -v url="$url" 'BEGIN {
  rc = ru + rs; cc = cu + cs;
  printf "stream: 128 kbit/s MP3 on loopback (%s), %d s\n", url, s;
  printf "%-10s %10s %10s %12s\n", "", "cpu s", "peak KB", "bytes";
  printf "%-10s %10.4f %10d %12d\n", "grablive", rc, rm, rb;
  printf "%-10s %10.4f %10d %12d\n", "curl", cc, cm, cb;
  printf "ratio recorder/curl: cpu %s, peak RSS %s\n", (cc > 0 ? sprintf("%.2f", rc / cc) : "n/a"), (cm > 0 ? sprintf("%.2f", rm / cm) : "n/a");
}'
echo "recorder printed: $(tail -n1 "$work/rec.out")"
