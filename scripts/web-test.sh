#!/usr/bin/env bash
# The browser edition's tests: the page built with Emscripten and played in headless Chromium
# against stand-in controllers, report for report against the native tavrel-play (build/default,
# built first). The screenshot of the page playing is kept in build/web/test-runs/.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-debian.sh emscripten chromium chromium-driver python3-selenium python3-midiutil
export NODE_PATH=/usr/share/nodejs
cmake --preset web >/dev/null
cmake --build --preset web

runs=build/web/test-runs
rm -rf "$runs"
mkdir -p "$runs"
/usr/bin/python3 tests/web/web_e2e.py --page build/web --play build/default/tavrel-play --work "$runs" \
  --screenshot "$runs/playing.png" no-webhid refused asking silent schedules tune midi bnvib wav usb several stop close live \
  capture
