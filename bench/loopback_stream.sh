# Sourced by the benchmarks: makes a 128 kbit/s MP3 tone in a new work
# folder and serves it in a loop, paced, on a free loopback port. Needs
# $build; sets $work and $stream_base (http://127.0.0.1:PORT) and removes
# both again when the script exits.
work=$(mktemp -d /tmp/vexa-bench-XXXXXX)
trap 'kill "$source_pid" 2>/dev/null || true; wait "$source_pid" 2>/dev/null || true; rm -rf "$work"' EXIT

ffmpeg -nostdin -hide_banner -loglevel error -f lavfi -i "sine=frequency=440:duration=30" \
  -ar 44100 -ac 2 -b:a 128k "$work/tone.mp3"
"$build/bench/stream_source" "$work/tone.mp3" 16000 >"$work/port" &
source_pid=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
stream_base="http://127.0.0.1:$(head -n1 "$work/port")"
