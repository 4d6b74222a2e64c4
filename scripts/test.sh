#!/usr/bin/env bash
# Installs what is missing, builds Tavrel and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-debian.sh --tests

cmake --preset default
cmake --build --preset default
ctest --preset default -j2
