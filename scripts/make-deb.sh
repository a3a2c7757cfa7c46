#!/usr/bin/env bash
# Builds the Debian package build-deb/vexa-radio-player_VERSION_ARCH.deb
# (CPack's DEB generator, dependencies by dpkg-shlibdeps) and prints its
# path. Installs with: sudo apt install ./build-deb/vexa-radio-player_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cache=()
if command -v ccache >/dev/null 2>&1; then
  cache=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true
fi
# The same compiler settings as test.sh's build/, so a compiler cache
# serves most objects from it.
cmake -S . -B build-deb -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DVEXA_BUILD_TESTS=OFF \
  -DVEXA_STATION_DIRECTORY_DATA_DIR=/usr/share/vexa-radio-player/station-directory "${cache[@]}" >/dev/null
cmake --build build-deb -j"$(nproc)"
rm -f build-deb/vexa-radio-player_*.deb
(cd build-deb && cpack -G DEB >/dev/null)
ls build-deb/vexa-radio-player_*.deb
