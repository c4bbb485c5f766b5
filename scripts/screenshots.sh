#!/usr/bin/env bash
# Takes the screenshots of trn in docs/ under Xvfb, with kamailio and baresip on
# loopback as the far end. Needs the packages of install-deps.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/screenshots
cmake -S . -B "$build" -G Ninja -Wno-dev -DCMAKE_BUILD_TYPE=Release -DORVSIP_TESTS=ON > /dev/null
cmake --build "$build" --target softphone_screenshots
mkdir -p docs
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
env HOME="$home" XDG_CONFIG_HOME="$home/config" QT_QPA_PLATFORM=xcb ORVSIP_AUDIO=virtual \
    ORVSIP_LOCAL_ADDRESS=127.0.0.1 \
    xvfb-run --auto-servernum --server-args="-screen 0 1024x640x24 -dpi 96" \
    "$build/tests/softphone/softphone_screenshots" "$PWD/docs"
