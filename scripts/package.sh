#!/usr/bin/env bash
# Makes the packages: the Debian package (Release build, native) and the Windows zip (Release
# cross-build with mingw-w64), both into build/packages/. Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-debian.sh g++-mingw-w64-x86-64-posix emscripten
mkdir -p build/packages

# The browser edition goes into both packages.
export NODE_PATH=/usr/share/nodejs
cmake --preset web >/dev/null
cmake --build --preset web
web="-DTAVREL_WEB_PAGE_DIR=$PWD/build/web"

cmake --preset package "$web" >/dev/null
cmake --build --preset package
(cd build/package && cpack -B "$PWD/../packages" >/dev/null)

cmake --preset package-windows "$web" >/dev/null
cmake --build --preset package-windows
(cd build/package-windows && cpack -B "$PWD/../packages" >/dev/null)

rm -rf build/packages/_CPack_Packages
ls -l build/packages
