#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Windows installer under wine: a silent install into the build folder's wine prefix puts the
# programs, the guide, the licence, a Start menu entry and an uninstaller in place; the installed
# tavirel-batch.exe converts a tree; the uninstaller takes everything away again.
#   installer_win32_test.sh BUILD-FOLDER VERSION
set -euo pipefail
build=$(realpath "$1")
version=$2
export WINEPREFIX="${TAVIREL_WINEPREFIX:-$build/wineprefix}" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
runner=$(realpath "$(dirname "$0")/../scripts/wine-run")
fail() { echo "installer_win32_test: $*" >&2; exit 1; }

name="TavirelTest$$"
target="$WINEPREFIX/drive_c/$name"
tree=$(mktemp -d "${TMPDIR:-/tmp}/tavirel-installer-XXXXXX")
trap 'rm -rf "$tree" "$target"' EXIT

"$runner" "$build/tavirel-$version-setup.exe" /S "/D=C:\\$name"
wineserver -w
for f in tavirel.exe tavirel-batch.exe guide.html LICENSE.txt uninstall.exe; do
  [ -f "$target/$f" ] || fail "$f was not installed"
done
[ -f "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Tavirel.lnk" ] || fail "no Start menu entry"
"$wine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tavirel' /v UninstallString 2>/dev/null |
  grep -q "uninstall.exe" || fail "no uninstall entry"

printf 'int a; // note\r\n/* b */ int c;\r\n' > "$tree/a.c"
printf 'mov a ; note\n' > "$tree/b.asm"
"$runner" "$target/tavirel-batch.exe" -q "Z:${tree//\//\\}"
[ "$(cat "$tree/a.c")" = "$(printf 'int a; \r\n int c;\r\n')" ] || fail "a.c not converted: $(od -c "$tree/a.c")"
[ "$(cat "$tree/b.asm")" = "mov a " ] || fail "b.asm not converted"

# While Tavirel runs, the silent uninstaller fails and removes nothing, its entry included.
"$wine" "$target/tavirel.exe" >/dev/null 2>&1 &
running=$!
for _ in $(seq 50); do
  "$wine" tasklist 2>/dev/null | grep -qi "tavirel.exe" && break
  sleep 0.2
done
sleep 1
status=0
"$runner" "$target/uninstall.exe" /S "_?=C:\\$name" || status=$?
[ "$status" -ne 0 ] || fail "the uninstaller succeeded while tavirel.exe ran"
for f in tavirel.exe tavirel-batch.exe guide.html uninstall.exe; do
  [ -f "$target/$f" ] || fail "$f was removed while tavirel.exe ran"
done
"$wine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tavirel' >/dev/null 2>&1 ||
  fail "the uninstall entry was removed while tavirel.exe ran"
"$wine" taskkill /F /IM tavirel.exe >/dev/null 2>&1 || true
wait "$running" 2>/dev/null || true

# The uninstaller, run in place (_?=) so that it is done when it returns.
"$runner" "$target/uninstall.exe" /S "_?=C:\\$name"
wineserver -w
for f in tavirel.exe tavirel-batch.exe guide.html LICENSE.txt; do
  [ ! -e "$target/$f" ] || fail "$f was left behind"
done
[ ! -e "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Tavirel.lnk" ] || fail "Start menu entry left"
if "$wine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tavirel' >/dev/null 2>&1; then
  fail "uninstall entry left"
fi
echo "installed, converted, uninstalled"
