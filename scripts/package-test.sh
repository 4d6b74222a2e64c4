#!/usr/bin/env bash
# Makes the packages, then checks the Debian package on this machine: lintian reports no error
# and no warning; installed, every program has its manual page, tavrel finds no controller and
# says so, and plays the whole tune on the installed virtual controller; removed, nothing of it
# is left. Installs and removes the package, so it
# needs root or sudo, and refuses to run where tavrel is installed already.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/package.sh
scripts/setup-debian.sh lintian man-db unzip
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
deb=$(ls build/packages/tavrel_*_"$(dpkg --print-architecture)".deb)
work=$(mktemp -d)

fail() {
  echo "package test: $*" >&2
  exit 1
}

echo "== lintian $deb"
lintian --tag-display-limit 0 "$deb" 2>/dev/null | tee "$work/lintian" || true
if grep -q '^[EW]:' "$work/lintian"; then fail "lintian reports errors or warnings"; fi

if dpkg-query -W -f='${Status}' tavrel 2>/dev/null | grep -q "install ok installed"; then
  fail "tavrel is installed on this machine already; remove it first"
fi
echo "== installing $deb"
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "./$deb" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log"; fail "the package did not install"; }
# Whatever happens below, the package does not stay.
trap 'DEBIAN_FRONTEND=noninteractive $sudo apt-get remove --purge -y tavrel >/dev/null 2>&1 || true' EXIT
dpkg-query -L tavrel >"$work/files"

echo "== the manual pages"
for program in tavrel tavrel-play tavrel-monitor tavrel-preview; do
  page=$(grep "/man1/$program\.1\.gz\$" "$work/files") || fail "no manual page for $program in the package"
  if [ ! -e "$page" ]; then
    # Minimal images tell dpkg to leave manual pages out; then the page is checked in the package.
    grep -rqs '^path-exclude=/usr/share/man' /etc/dpkg/dpkg.cfg.d/ || fail "$page was not installed"
    echo "dpkg on this machine leaves out $page (path-exclude); checking it in the package"
    dpkg-deb --fsys-tarfile "$deb" | tar -xO ".$page" | gzip -dc | grep -q "^\.TH " ||
      fail "the package's page for $program is not a manual page"
    continue
  fi
  MANWIDTH=80 man "$program" 2>/dev/null | grep -q "^NAME" || fail "man $program shows no page"
done

echo "== the browser edition"
for file in index.html app.js tavrel-engine.js tavrel-engine.wasm; do
  grep -q "^/usr/share/tavrel/web/$file\$" "$work/files" || fail "the package has no /usr/share/tavrel/web/$file"
done
zip=$(ls build/packages/tavrel-*-win64.zip)
unzip -l "$zip" | grep -q "/web/tavrel-engine.wasm\$" || fail "the Windows zip has no web/tavrel-engine.wasm"

echo "== /usr/bin/tavrel without a controller"
status=0
/usr/bin/tavrel >"$work/out" 2>"$work/err" </dev/null || status=$?
[ "$status" -eq 1 ] || fail "exit status $status without a controller, expected 1"
[ "$(cat "$work/err")" = "JoyCon not found." ] || fail "stderr is '$(cat "$work/err")'"
[ ! -s "$work/out" ] || fail "stdout is not empty"

library=$(grep '/libvirtual_joycon\.so$' "$work/files") || fail "the virtual controller library is not installed"
echo "== /usr/bin/tavrel on $library (about 41 s)"
status=0
LD_PRELOAD=$library TAVREL_VJ_LOG="$work/tune.log" /usr/bin/tavrel >"$work/out" 2>"$work/err" </dev/null || status=$?
[ "$status" -eq 0 ] || fail "exit status $status on the virtual controller, expected 0"
lines=$(grep -c '^play data = ' "$work/out" || true)
[ "$lines" -eq 212 ] || fail "$lines echo lines, expected 212"
[ "$(tail -n 1 "$work/tune.log" | cut -d' ' -f2)" = "close" ] || fail "the controller was not closed last"

echo "== removing the package"
DEBIAN_FRONTEND=noninteractive $sudo apt-get remove --purge -y tavrel >"$work/remove.log" 2>&1 ||
  { cat "$work/remove.log"; fail "the package did not remove"; }
trap - EXIT
left=()
while read -r path; do
  # Folders the package shares with the system stay; its own files and folders must not.
  if [ -e "$path" ] && { [ ! -d "$path" ] || [[ "$path" == */tavrel ]]; }; then left+=("$path"); fi
done <"$work/files"
[ ${#left[@]} -eq 0 ] || fail "left behind: ${left[*]}"
if dpkg-query -W -f='${Status}' tavrel 2>/dev/null | grep -q "installed"; then fail "dpkg still knows tavrel"; fi
rm -rf "$work"
echo "package test: lintian clean of errors and warnings; installed, manual pages shown, played, removed without a trace"
