#!/usr/bin/env bash
# The Debian package: its file list, its dependencies, lintian, and the
# installed layout unpacked into a throw-away root and run as a non-root
# user with fresh homes: the store appears in the XDG data folder, a
# recording made through that folder lands in the music folder, a second
# home gets folders of its own.
#   installed_layout_test.sh DEB REPORT_DIR
# REPORT_DIR receives files.txt (the package's files) and lintian.txt.
set -euo pipefail
deb=$1
report=$2
mkdir -p "$report"
fail() { echo "FAIL: $*" >&2; exit 1; }

# Files.
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' | sort > "$report/files.txt"
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
for f in /usr/bin/radioplayer /usr/bin/grablive /usr/bin/grabclock /usr/bin/station-directory \
         "/usr/lib/$multiarch/libnetgrab.so.0" /usr/share/vexa-radio-player/rd.d \
         /usr/share/vexa-radio-player/pic/main.bmp /usr/share/vexa-radio-player/station-directory/stations.tsv \
         /usr/share/applications/vexa-radio-player.desktop /usr/share/metainfo/vexa-radio-player.metainfo.xml \
         /usr/share/icons/hicolor/48x48/apps/vexa-radio-player.png \
         /usr/share/icons/hicolor/128x128/apps/vexa-radio-player.png \
         /usr/share/icons/hicolor/256x256/apps/vexa-radio-player.png \
         /usr/share/icons/hicolor/scalable/apps/vexa-radio-player.svg \
         /usr/share/man/man1/radioplayer.1.gz /usr/share/man/man1/grablive.1.gz \
         /usr/share/man/man1/grabclock.1.gz /usr/share/man/man1/station-directory.1.gz \
         /usr/share/doc/vexa-radio-player/copyright /usr/share/doc/vexa-radio-player/changelog.gz; do
  grep -qxF "$f" "$report/files.txt" || fail "package lacks $f"
done
# Dependencies from dpkg-shlibdeps, and those loaded at run time.
depends=$(dpkg-deb -f "$deb" Depends)
for d in libc6 libqt6core6 libqt6dbus6 libqt6widgets6 libqt6webenginewidgets6 libvlc5 libasound2 vlc-plugin-base \
         libqt6sql6-sqlite; do
  echo "$depends" | grep -Eq "(^|, )$d( |,|$)" || fail "Depends lacks $d: $depends"
done

# lintian: no errors; warnings are recorded in the report.
lintian --tag-display-limit 0 "$deb" > "$report/lintian.txt" 2>&1 || true
if grep -q '^E:' "$report/lintian.txt"; then
  cat "$report/lintian.txt" >&2
  fail "lintian reports errors"
fi

# The installed layout, as an unprivileged user.
root=$(mktemp -d /tmp/vexa-installed.XXXXXX)
player_pid=
directory_pid=
cleanup() {
  [ -n "$player_pid" ] && kill "$player_pid" 2>/dev/null || true
  [ -n "$directory_pid" ] && kill "$directory_pid" 2>/dev/null || true
  rm -rf "$root"
}
trap cleanup EXIT
chmod 755 "$root"
dpkg -x "$deb" "$root/fs"
user=nobody
group=$(id -gn nobody)
mkdir -p "$root/home1" "$root/home2"
chown "$user:$group" "$root/home1" "$root/home2"
as_user() {   # as_user HOME COMMAND...: replaces the calling (sub)shell, so $! is the program
  local home=$1
  shift
  exec setpriv --reuid="$user" --regid="$group" --clear-groups \
    env -i HOME="$home" PATH=/usr/bin:/bin XDG_RUNTIME_DIR="$home/run" QT_QPA_PLATFORM=offscreen \
    QTWEBENGINE_DISABLE_SANDBOX=1 LD_LIBRARY_PATH="$root/fs/usr/lib/$multiarch" "$@"
}
wait_for() {   # wait_for SECONDS COMMAND...: until the command succeeds
  local until=$(( $(date +%s) + $1 ))
  shift
  until "$@"; do
    [ "$(date +%s)" -lt "$until" ] || return 1
    sleep 0.2
  done
}
store_version() { sqlite3 "$1" 'PRAGMA user_version' 2>/dev/null; }
store_ready() { [ "$(store_version "$1")" -ge 1 ] 2>/dev/null; }

run_player() {   # run_player HOME: starts the installed player, waits for its folder
  local home=$1
  (as_user "$home" mkdir -m 700 -p "$home/run")
  (as_user "$home" "$root/fs/usr/bin/radioplayer") > "$root/player.log" 2>&1 &
  player_pid=$!
  wait_for 60 store_ready "$home/.local/share/vexa-radio-player/rd.d" ||
    { cat "$root/player.log" >&2; fail "no store in $home/.local/share/vexa-radio-player"; }
  wait_for 60 test -L "$home/.local/share/vexa-radio-player/grabclock" || fail "no recorder link in $home"
  kill "$player_pid"
  wait "$player_pid" 2>/dev/null || true
  player_pid=
}

run_player "$root/home1"
data1=$root/home1/.local/share/vexa-radio-player
[ -f "$data1/pic/main.bmp" ] || fail "no pictures in $data1"
[ "$(readlink "$data1/radiorecord")" = "$root/home1/Music/Vexa Radio Player" ] || fail "radiorecord: $(readlink "$data1/radiorecord")"
[ "$(readlink "$data1/grablive")" = "$root/fs/usr/bin/grablive" ] || fail "grablive: $(readlink "$data1/grablive")"
[ "$(stat -c %U "$data1/rd.d")" = "$user" ] || fail "the store does not belong to $user"
shipped_phrases=$(sqlite3 "$root/fs/usr/share/vexa-radio-player/rd.d" 'SELECT count(*) FROM aplng')
[ "$(sqlite3 "$data1/rd.d" 'SELECT count(*) FROM aplng')" = "$shipped_phrases" ] || fail "the first store is not the shipped one"
[ "$(store_version "$data1/rd.d")" = "$(store_version "$root/fs/usr/share/vexa-radio-player/rd.d")" ] || fail "store version"

# A recording through the user's folder, as the schedule starts one, from
# the packaged station directory's demo stream.
(as_user "$root/home1" "$root/fs/usr/bin/station-directory" --port 0 --hitlog "$root/home1/hitlog.tsv" \
  --stations "$root/fs/usr/share/vexa-radio-player/station-directory/stations.tsv" \
  --cache "$root/home1/cache") > "$root/directory.log" 2>&1 &
directory_pid=$!
wait_for 60 grep -q 'listening on' "$root/directory.log" || { cat "$root/directory.log" >&2; fail "no station directory"; }
base=$(sed -n 's|.*listening on \(http://[^ ]*/\).*|\1|p' "$root/directory.log")
(as_user "$root/home1" "$data1/grablive" "${base}stream/1.mp3" "$data1/radiorecord/check" 3000) > "$root/grab.log" 2>&1 ||
  { cat "$root/grab.log" >&2; fail "grablive through the user's folder failed"; }
recorded="$root/home1/Music/Vexa Radio Player/check.mp3"
[ -s "$recorded" ] || { cat "$root/grab.log" >&2; fail "no recording in the music folder"; }
kill "$directory_pid"; wait "$directory_pid" 2>/dev/null || true; directory_pid=

# A second home: folders of its own; the first user's store is untouched.
sum1=$(sha256sum < "$data1/rd.d")
run_player "$root/home2"
[ -f "$root/home2/.local/share/vexa-radio-player/rd.d" ] || fail "no store for the second home"
[ -d "$root/home2/Music/Vexa Radio Player" ] || fail "no recordings folder for the second home"
[ ! -e "$root/home2/Music/Vexa Radio Player/check.mp3" ] || fail "the second home sees the first one's recording"
[ "$(sha256sum < "$data1/rd.d")" = "$sum1" ] || fail "the second user changed the first one's store"

echo "package files: $(wc -l < "$report/files.txt"), recording: $(stat -c %s "$recorded") bytes"
echo "lintian:"
cat "$report/lintian.txt"
echo "PASS"
