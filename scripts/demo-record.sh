#!/usr/bin/env bash
# Records a few seconds of a loopback demo stream with grablive and shows
# what the recorder printed and where its file is.
#   scripts/demo-record.sh [build dir]      (DEMO_SECONDS=4 by default)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
seconds=${DEMO_SECONDS:-4}
work=$(mktemp -d /tmp/vexa-demo-XXXXXX)

# The demo source: a 440 Hz tone as 128 kbit/s MP3, made now, looped by a
# small loopback server at the stream's own pace (16000 bytes/s).
ffmpeg -nostdin -hide_banner -loglevel error -f lavfi -i "sine=frequency=440:duration=10" \
  -ar 44100 -ac 2 -b:a 128k "$work/tone.mp3"
"$build/bench/stream_source" "$work/tone.mp3" 16000 >"$work/port" &
source_pid=$!
trap 'kill "$source_pid" 2>/dev/null || true; wait "$source_pid" 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
[ -s "$work/port" ] || { echo "demo source did not start"; exit 1; }
url="http://127.0.0.1:$(head -n1 "$work/port")/demo.mp3"

echo "== demo source: $url"
echo "== grablive $url $work/demo $((seconds * 1000))"
"$build/bin/grablive" "$url" "$work/demo" $((seconds * 1000)) | sed 's/^/   | /'
echo "== recording:"
if ls "$work"/demo.* >/dev/null 2>&1; then
  ls -l "$work"/demo.*
else
  echo "   no file in $work (this build has no HTTP capture yet)"
fi
