#!/usr/bin/env bash
# Start/stop stall of a live recording: the real launcher and grablive on
# the loopback 128 kbit/s stream (bench/loopback_stream.sh).
#   bench/record_stall.sh [build] [cycles] [schedule rows] [journal]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cycles=${2:-10}
rows=${3:-0}
mode=${4:-}
. bench/loopback_stream.sh
"$build/bench/record_stall" "$build/bin" "$stream_base/live.mp3" "$cycles" "$rows" $mode
