#!/usr/bin/env bash
# Installs what is missing, builds, starts the bundled station directory on
# loopback and the player on it. Without a display, the player runs on a
# private virtual display (Xvfb) and the script says how to look at it.
# The station directory's source options go to the bundled directory:
#   --radio-browser [URL]  real stations from the Radio Browser list
#   --stations FILE        a station file (TSV list, .json export, .m3u, .pls)
#   --include-broken       list stations whose last check failed too
#   --cache DIR            the directory's cache folder
# Every other argument goes to the player unchanged, e.g.
#   ./run.sh --radio-browser
#   ./run.sh --directory http://192.168.1.5:8765/ --hitlog http://192.168.1.5:8765
set -euo pipefail
cd "$(dirname "$0")"

directory_args=()
player_args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --radio-browser)
      directory_args+=("$1")
      if [ $# -gt 1 ] && [ "${2#--}" = "$2" ]; then
        directory_args+=("$2")
        shift
      fi
      ;;
    --stations|--cache)
      [ $# -gt 1 ] || { echo "run.sh: $1 needs a value" >&2; exit 2; }
      directory_args+=("$1" "$2")
      shift
      ;;
    --include-broken) directory_args+=("$1") ;;
    *) player_args+=("$1") ;;
  esac
  shift
done
scripts/install-deps.sh
. scripts/env.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"

pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
}
trap cleanup EXIT INT TERM

port=$(sed -n 's/^VEXA_DIRECTORY_PORT:STRING=//p' build/CMakeCache.txt)
if (exec 3<>"/dev/tcp/127.0.0.1/${port:-8765}") 2>/dev/null; then
  echo "A station directory already answers on 127.0.0.1:${port:-8765}; the player uses it."
  if [ ${#directory_args[@]} -gt 0 ]; then
    echo "  (its own station source stays: ${directory_args[*]} not applied; stop it to change the source)"
  fi
else
  dir_pid=$(scripts/run-directory.sh build "${directory_args[@]}")
  pids+=("$dir_pid")
  echo "Station directory running (pid $dir_pid, log build/station-directory.log)."
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  # A virtual display of our own, plus a notification area for the tray icon.
  n=90
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  pids+=("$!")
  for _ in $(seq 1 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  display_no=$n
  export DISPLAY=":${display_no}"
  trayer --edge top --align right --widthtype pixel --width 100 --heighttype pixel --height 24 >/dev/null 2>&1 &
  pids+=("$!")
  cat <<TEXT
No display was set: the player runs on the virtual display $DISPLAY.
  Screenshot:  DISPLAY=$DISPLAY import -window root shot.png
  Drive it:    DISPLAY=$DISPLAY xdotool ...
Stop with Ctrl+C.
TEXT
fi

echo "Starting the player (build/bin/radioplayer ${player_args[*]})."
build/bin/radioplayer "${player_args[@]}" || true
