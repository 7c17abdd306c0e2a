#!/usr/bin/env bash
# Installs the build into a temporary folder as a package would (DESTDIR, prefix /usr)
# and checks the files a desktop needs, with the desktop-entry and AppStream validators
# where they are installed.
# usage: install_test.sh BUILD_DIR APP_ID
set -u
build=$1 id=$2
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

DESTDIR="$root" cmake --install "$build" --prefix /usr >"$root.log" 2>&1 ||
    { cat "$root.log"; rm -f "$root.log"; fail "cmake --install"; }
rm -f "$root.log"
usr=$root/usr
for f in bin/toplusms bin/toplusms-cli; do
    [ -x "$usr/$f" ] || fail "$f is not installed as a program"
done
desktop=$usr/share/applications/$id.desktop
metainfo=$usr/share/metainfo/$id.metainfo.xml
[ -f "$desktop" ] || fail "no desktop entry"
[ -f "$metainfo" ] || fail "no AppStream metadata"
[ -f "$usr/share/icons/hicolor/scalable/apps/$id.svg" ] || fail "no scalable icon"
for size in 16 22 24 32 48 64 128 256; do
    png=$usr/share/icons/hicolor/${size}x${size}/apps/$id.png
    [ -f "$png" ] || fail "no ${size}x${size} icon"
    # The PNG header's width and height, bytes 17-24.
    dims=$(od -An -tu1 -j16 -N8 "$png" | awk '{print $3*256+$4 "x" $7*256+$8}')
    [ "$dims" = "${size}x${size}" ] || fail "${size}x${size} icon is $dims"
done

# What the menu shows and runs.
grep -qx "Icon=$id" "$desktop" || fail "the desktop entry does not name the icon $id"
grep -qx 'Exec=toplusms --user-folder' "$desktop" || fail "the menu entry does not set the working folder"
grep -q '^Name=Toplu SMS$' "$desktop" || fail "no Turkish name"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
    fail "the AppStream metadata does not launch the desktop entry"
grep -q '<image>https://' "$metainfo" || fail "screenshots are not https addresses"
! grep -q '@[A-Z_]*@' "$metainfo" || fail "unfilled placeholder in the AppStream metadata"

if command -v desktop-file-validate >/dev/null; then
    out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
    [ -z "$out" ] || fail "desktop-file-validate: $out"
else
    echo "skipped: desktop-file-validate is not installed (desktop-file-utils)"
fi
if command -v appstreamcli >/dev/null; then
    out=$(appstreamcli validate --no-net --pedantic "$metainfo" 2>&1) ||
        fail "appstreamcli validate: $out"
else
    echo "skipped: appstreamcli is not installed (appstream)"
fi
echo ok
