#!/usr/bin/env bash
# Builds the browser edition into build/web/ and serves it on localhost (where browsers allow
# WebHID), at http://localhost:PORT/ (8720 unless given). Open it in Chrome or Edge. Ctrl-C stops.
set -euo pipefail
cd "$(dirname "$0")/.."
port="${1:-8720}"

scripts/setup-debian.sh emscripten
# Debian's emscripten runs its tools with node, which must see Debian's own Node.js modules.
export NODE_PATH=/usr/share/nodejs
cmake --preset web >/dev/null
cmake --build --preset web

echo "Tavrel in the browser: http://localhost:$port/ (Chrome or Edge; Ctrl-C stops)"
exec python3 -m http.server "$port" --bind 127.0.0.1 --directory build/web
