#!/usr/bin/env bash
# Installs what is missing, builds, and runs the program.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
. scripts/env.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
# Until the player exists: record a few seconds of a loopback demo stream.
scripts/demo-record.sh build
