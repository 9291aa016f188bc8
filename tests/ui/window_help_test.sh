#!/bin/bash
# olstrin --help answers without a display, in both languages; without a display the window
# says so in one line and exits with 2. usage: window_help_test.sh OLSTRIN
set -u
olstrin=$1
fail() { echo "FAIL: $*"; exit 1; }
headless() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@"; }

out=$(headless "$olstrin" --lang zh --help) || fail "--help exit $?"
[[ $out == "用法: olstrin [--lang zh|en] [文件]"* ]] || fail "Chinese usage: $out"
[[ $out == *"--lang zh|en"* && $out == *"Intel HEX"* ]] || fail "usage lacks --lang or HEX: $out"
out=$(headless "$olstrin" --lang en -h) || fail "-h exit $?"
[[ $out == "usage: olstrin [--lang zh|en] [FILE]"* ]] || fail "English usage: $out"

for lang in zh en; do
    err=$(headless "$olstrin" --lang $lang 2>&1 >/dev/null)
    rc=$?
    [[ $rc == 2 ]] || fail "no display, --lang $lang: exit $rc"
    [[ $(printf '%s\n' "$err" | wc -l) == 1 && $err == "olstrin: "* ]] || fail "no display: $err"
done
# A display named but not there is no display either.
err=$(headless DISPLAY=:7919 "$olstrin" --lang en 2>&1 >/dev/null)
rc=$?
[[ $rc == 2 && $err == "olstrin: no graphical display"* ]] || fail "unreachable display: $rc $err"
headless "$olstrin" --lang xx --help >/dev/null 2>&1
[[ $? == 2 ]] || fail "--lang xx must exit 2"
echo "ok"
