#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the build into a temporary prefix and checks the tree, the desktop entry and the manual
# pages; then builds the Debian package as a distribution gets it (scripts/package: Release,
# stripped) and checks its files, its dependencies and lintian's verdict.
#   install_test.sh BUILD_DIR
set -euo pipefail
build=$(realpath "$1")
source=$(realpath "$(dirname "$0")/..")
work=$(mktemp -d /tmp/tavirel-install-test-XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/prefix" >/dev/null
expected=(
  bin/tavirel
  bin/tavirel-batch
  share/applications/tavirel.desktop
  share/icons/hicolor/16x16/apps/tavirel.png
  share/icons/hicolor/32x32/apps/tavirel.png
  share/icons/hicolor/48x48/apps/tavirel.png
  share/icons/hicolor/scalable/apps/tavirel.svg
  share/man/man1/tavirel.1.gz
  share/man/man1/tavirel-batch.1.gz
  share/doc/tavirel/guide.html
  share/doc/tavirel/screenshot.png
  share/doc/tavirel/screenshot-preview.png
  share/doc/tavirel/screenshot-windows.png
  share/doc/tavirel/copyright
  share/doc/tavirel/changelog.gz
  share/doc-base/tavirel-guide
)
for f in "${expected[@]}"; do [ -s "$work/prefix/$f" ] || fail "missing $f"; done
for size in 16 32 48; do
  # Width and height stand at bytes 16 to 23 of a PNG.
  dims=$(od -An -tu1 -j16 -N8 "$work/prefix/share/icons/hicolor/${size}x${size}/apps/tavirel.png" | tr -s ' ')
  [ "$dims" = " 0 0 0 $size 0 0 0 $size" ] || fail "icon $size is $dims"
done
desktop-file-validate "$work/prefix/share/applications/tavirel.desktop" || fail "desktop entry"
"$work/prefix/bin/tavirel-batch" --version | grep -q '^tavirel-batch ' || fail "installed tavirel-batch"
# The window's link resolves to the installed guide.
[ -f "$work/prefix/bin/../share/doc/tavirel/guide.html" ] || fail "guide not where the link points"

# Both manual pages render without a warning in an ASCII and in a UTF-8 terminal, and the
# Chinese status texts neither vanish nor turn into question marks.
for page in tavirel tavirel-batch; do
  for locale in C C.UTF-8; do
    out=$(LANG=$locale LC_ALL=$locale MANWIDTH=80 man --warnings -l "$work/prefix/share/man/man1/$page.1.gz" \
          2>"$work/man-errors")
    [ ! -s "$work/man-errors" ] || fail "man $page under $locale: $(cat "$work/man-errors")"
    grep -q '?' <<<"$(grep -i 'count line\|共选中' <<<"$out")" && fail "man $page under $locale shows ?"
    if [ $locale = C ]; then
      grep -q 'the count line: N files selected\|The count line: N files selected' <<<"$out" || fail "man $page under C"
    else
      grep -q '共选中' <<<"$out" || fail "man $page under $locale lacks the status texts"
    fi
  done
done

# The Release build goes beside this build, outside the source tree, and is kept for the next run.
"$source/scripts/package" "$work/package" "$build/package-release" >/dev/null
deb=$(ls "$work"/package/*.deb)
contents=$(dpkg-deb -c "$deb")
for f in "${expected[@]}"; do grep -q " \./usr/$f\$" <<<"$contents" || fail "package lacks /usr/$f"; done
depends=$(dpkg-deb -f "$deb" Depends)
# Computed from the binaries, and the two they cannot show: the platform plugin and the font.
for d in libqt6widgets6 libqt6gui6 libqt6core6 liburing2 libstdc++6 libc6 qt6-qpa-plugins "fonts-wqy-zenhei | fonts-noto-cjk"; do
  grep -qF "$d" <<<"$depends" || fail "Depends lacks $d: $depends"
done
[ "$(dpkg-deb -f "$deb" Recommends)" = xdg-utils ] || fail "Recommends"
[ "$(dpkg-deb -f "$deb" Package)" = tavirel ] || fail "package name"
if command -v lintian >/dev/null; then
  tags=$(lintian -EvI --pedantic "$deb" 2>/dev/null | grep -E '^[EW]:' || true)
  [ -z "$tags" ] || fail "lintian: $tags"
else
  fail "lintian is missing: the package cannot be checked against Debian's policy (scripts/install-deps installs it)"
fi
echo "1 passed, 0 failed"
