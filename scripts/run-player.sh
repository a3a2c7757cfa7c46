#!/usr/bin/env bash
# Starts the player from the build (build/bin holds rd.d, pic/ and
# radiorecord/ next to radioplayer). Build first with run.sh or cmake.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/env.sh
player=build/bin/radioplayer
if [ ! -x "$player" ]; then
  echo "No $player yet: build with  cmake -S . -B build -G Ninja && cmake --build build" >&2
  exit 1
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat >&2 <<'TEXT'
No display found (DISPLAY is not set). To run the player on a virtual display:

  Xvfb :99 -screen 0 1024x768x24 &        # a virtual X server
  DISPLAY=:99 trayer --edge top --align right --widthtype pixel --width 100 \
      --heighttype pixel --height 24 &    # a notification area for the tray icon
  DISPLAY=:99 scripts/run-player.sh
  DISPLAY=:99 import -window root shot.png   # a screenshot (ImageMagick)
TEXT
  exit 1
fi
exec "$player" "$@"
