#!/usr/bin/env bash
# Makes the packages: the Debian package (Release build, native) and the Windows zip (Release
# cross-build with mingw-w64), both into build/packages/. Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-debian.sh g++-mingw-w64-x86-64-posix
mkdir -p build/packages

cmake --preset package >/dev/null
cmake --build --preset package
(cd build/package && cpack -B "$PWD/../packages" >/dev/null)

cmake --preset package-windows >/dev/null
cmake --build --preset package-windows
(cd build/package-windows && cpack -B "$PWD/../packages" >/dev/null)

rm -rf build/packages/_CPack_Packages
ls -l build/packages
