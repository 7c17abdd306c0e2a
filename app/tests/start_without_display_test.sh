#!/usr/bin/env bash
# Starts the program as a user would without a graphical session: the screenshot run
# needs no display, every other run says in one line why it cannot start. Also: the
# menu entry's --user-folder makes ~/.local/share/toplusms the working folder, a start
# from a terminal keeps its own.
# usage: start_without_display_test.sh PATH/TO/toplusms
set -u
program=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
run() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_DATA_HOME \
        -u XDG_CONFIG_HOME HOME="$tmp/home" XDG_RUNTIME_DIR="$tmp" "$@"; }
mkdir -p "$tmp/home" "$tmp/terminal"

# Screenshots without any display, from the terminal's folder.
(cd "$tmp/terminal" && run "$program" --screenshot shots >"$tmp/out" 2>"$tmp/err") ||
    fail "screenshot run failed: $(cat "$tmp/err")"
for f in 1-cihaz-iletisim 2-tek-kisiye-sms 3-toplu-sms 4-hakkinda 5-yardim; do
    [ -s "$tmp/terminal/shots/$f.png" ] || fail "no $f.png in the working folder"
done

# From the menu: the working folder is made and used.
(cd "$tmp/terminal" && run "$program" --user-folder --screenshot shots2 >/dev/null 2>&1) ||
    fail "screenshot run with --user-folder failed"
[ -s "$tmp/home/.local/share/toplusms/shots2/1-cihaz-iletisim.png" ] ||
    fail "--user-folder did not work in ~/.local/share/toplusms"
[ ! -e "$tmp/terminal/shots2" ] || fail "--user-folder wrote into the terminal's folder"

# The window itself without a display, and with a display nobody answers on.
for display in "" ":97"; do
    if [ -z "$display" ]; then
        run "$program" >"$tmp/out" 2>"$tmp/err" </dev/null
    else
        run DISPLAY="$display" "$program" >"$tmp/out" 2>"$tmp/err" </dev/null
    fi
    code=$?
    [ $code -ne 0 ] || fail "started without a display (DISPLAY='$display')"
    [ $code -lt 128 ] || fail "died of signal $((code - 128)) (DISPLAY='$display')"
    lines=$(grep -vc '^QStandardPaths:' "$tmp/err")
    [ "$lines" -eq 1 ] || fail "expected one line (DISPLAY='$display'), got: $(cat "$tmp/err")"
    grep -q '^toplusms: ' "$tmp/err" || fail "the line does not name the program: $(cat "$tmp/err")"
done
echo "ok"
