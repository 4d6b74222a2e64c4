#!/usr/bin/env bash
# Installs what is missing, builds Tavrel and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

# MIDI test fixtures are made with midiutil and read back independently with mido; the manual
# pages are checked with man's own warnings; sound capture is tested against a PulseAudio server
# of the test's own, fed by pacat.
scripts/setup-debian.sh python3-midiutil python3-mido man-db pulseaudio pulseaudio-utils

cmake --preset default
cmake --build --preset default
ctest --preset default -j2

# The browser edition in headless Chromium, against the native program's schedules.
scripts/web-test.sh

# The tests that run threads (the input monitor, the HID handle table, tavrel-play's performers) under
# ThreadSanitizer.
cmake --preset tsan
cmake --build --preset tsan
ctest --preset tsan -j2

# Windows: cross-built with mingw-w64, tests run under Wine (the message box and the console
# windows on a virtual display, closed through python3-xlib).
scripts/setup-debian.sh googletest g++-mingw-w64-x86-64-posix wine wine64 xvfb xdotool python3-xlib
cmake --preset windows
cmake --build --preset windows
ctest --preset windows -j2

# The same suite under AddressSanitizer and UndefinedBehaviorSanitizer, then a short fuzz run.
# clang's sanitizer runtimes come in libclang-rt-dev on Debian 12; older releases ship them with clang.
runtime=libclang-rt-dev
apt-cache show "$runtime" >/dev/null 2>&1 || runtime=
scripts/setup-debian.sh clang $runtime
cmake --preset asan
cmake --build --preset asan -j2
ctest --preset asan -j2
scripts/fuzz.sh 30
