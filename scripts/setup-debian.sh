#!/usr/bin/env bash
# Installs what building and testing Tavrel needs on Debian or Ubuntu, skipping what is there.
# Extra package names may be given as arguments. Uses sudo when not run as root.
set -euo pipefail

packages=(build-essential cmake ninja-build pkg-config libhidapi-dev libasound2-dev libsndfile1-dev libpulse-dev espeak-ng libcli11-dev libgtest-dev python3)
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${missing[@]}"
