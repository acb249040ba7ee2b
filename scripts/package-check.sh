#!/usr/bin/env bash
# Builds the Debian package from a finished build, installs it, and checks the installed copy:
# the programs run, the desktop entry, AppStream data and file types validate, the manual
# pages render. A package that was not installed before is removed again at the end.
#   scripts/package-check.sh [BUILD_DIR]   (build/default by default)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
sample=$PWD/samples/astronaut.png

(cd "$build" && rm -f velmora_*.deb && cpack -G DEB >/dev/null)
deb=$(ls "$build"/velmora_*.deb)
echo "package: $deb ($(stat -c %s "$deb") bytes)"
dpkg-deb -f "$deb" Depends

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if [ -n "$sudo" ] && ! sudo -n true 2>/dev/null; then
  echo "package check: installing needs root or password-less sudo; skipped" >&2
  exit 0
fi
was_installed=0
dpkg-query -W -f='${Status}' velmora 2>/dev/null | grep -q "install ok installed" && was_installed=1
work=$(mktemp -d)
cleanup() {
  rm -rf "$work"
  if [ "$was_installed" = 0 ]; then
    DEBIAN_FRONTEND=noninteractive $sudo apt-get remove -y -qq velmora >/dev/null 2>&1 || true
  fi
}
trap cleanup EXIT
# apt resolves the package's dependencies from Debian, as a user's install would.
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
  "$(realpath "$deb")" >/dev/null

fail=0
check() {
  local what=$1
  shift
  if "$@" >"$work/out" 2>&1; then
    echo "ok: $what"
  else
    echo "FAILED: $what" >&2
    cat "$work/out" >&2
    fail=1
  fi
}
check "velmora-cli --version: $(/usr/bin/velmora-cli --version 2>&1)" /usr/bin/velmora-cli --version
check "installed velmora-cli converts the sample" \
  /usr/bin/velmora-cli convert "$sample" -o "$work/astronaut" --preview "$work/preview.png"
check "the ZX screen file is 6912 bytes" test "$(stat -c %s "$work/astronaut.scr")" = 6912
check "installed thumbnailer draws the screen file" \
  /usr/bin/velmora-thumbnailer -s 128 -i "$work/astronaut.scr" -o "$work/thumb.png"
check "the thumbnail is a PNG" sh -c "head -c 8 '$work/thumb.png' | od -An -tx1 | grep -q '89 50 4e 47'"
check "desktop-file-validate" desktop-file-validate /usr/share/applications/velmora.desktop
check "appstreamcli validate --no-net" \
  appstreamcli validate --no-net /usr/share/metainfo/org.ostrel.Velmora.metainfo.xml
check "xmllint of the file types" xmllint --noout /usr/share/mime/packages/velmora.xml
check "thumbnailer entry names the installed program" \
  grep -q "^TryExec=velmora-thumbnailer" /usr/share/thumbnailers/velmora.thumbnailer
for page in velmora-cli velmora; do
  check "man -l $page.1 renders" sh -c \
    "MANWIDTH=80 man -l /usr/share/man/man1/$page.1.gz 2>&1 >'$work/$page.txt' && test -s '$work/$page.txt'"
done
check "every thumbnailed type is declared" sh -c \
  "for t in \$(sed -n 's/^MimeType=//p' /usr/share/thumbnailers/velmora.thumbnailer | tr ';' ' '); do
     grep -q \"type=.\$t.\" /usr/share/mime/packages/velmora.xml || { echo \"undeclared: \$t\"; exit 1; }; done"
check "bundled palettes installed" test -d /usr/share/velmora/palettes
exit $fail
