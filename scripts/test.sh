#!/usr/bin/env bash
# Installs what is missing, builds Tavrel and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-debian.sh --tests

cmake --preset default
cmake --build --preset default
ctest --preset default -j2

# The same suite under AddressSanitizer and UndefinedBehaviorSanitizer, then a short fuzz run.
scripts/setup-debian.sh clang libclang-rt-dev
cmake --preset asan
cmake --build --preset asan -j2
ctest --preset asan -j2
scripts/fuzz.sh 30
