#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks the tree, validates the desktop entry,
# then builds the Debian package and checks its files and dependencies.
#   install_test.sh BUILD_DIR
set -euo pipefail
build=$(realpath "$1")
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
  share/man/man1/tavirel-batch.1.gz
  share/doc/tavirel/guide.html
  share/doc/tavirel/screenshot.png
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
zcat "$work/prefix/share/man/man1/tavirel-batch.1.gz" | grep -q '^\.TH TAVIREL-BATCH 1' || fail "manual page"

(cd "$build" && cpack -G DEB -B "$work/package" >/dev/null)
deb=$(ls "$work"/package/*.deb)
contents=$(dpkg-deb -c "$deb")
for f in "${expected[@]}"; do grep -q " \./usr/$f\$" <<<"$contents" || fail "package lacks /usr/$f"; done
depends=$(dpkg-deb -f "$deb" Depends)
for d in libqt6widgets6 libqt6gui6 libqt6core6 qt6-qpa-plugins "fonts-wqy-zenhei | fonts-noto-cjk"; do
  grep -qF "$d" <<<"$depends" || fail "Depends lacks $d: $depends"
done
[ "$(dpkg-deb -f "$deb" Package)" = tavirel ] || fail "package name"
echo "1 passed, 0 failed"
