#!/usr/bin/env bash
# usage: completion_test.sh COMPLETION_SCRIPT OLSTRIN_CLI
# Runs the completion function on typed command lines, as bash would on TAB.
set -u
script=$1
cli=$2
# shellcheck source=packaging/olstrin-cli.bash
source "$script"
failed=0

# expect LINE CANDIDATE... : the completions offered for LINE (the cursor at its end).
expect() {
    local line=$1
    shift
    COMP_LINE=$line COMP_POINT=${#line} COMPREPLY=()
    _olstrin_cli
    if [ "${COMPREPLY[*]}" != "$*" ]; then
        echo "FAIL: '$line' offered '${COMPREPLY[*]}', expected '$*'" >&2
        failed=1
    fi
}

expect "$cli " chips settings ports detect erase write read blank verify lock auto
expect "$cli --sim" --sim-image --simulate --simulate=
expect "$cli --chip AT89S5" AT89S51 AT89S52
expect "$cli --baud 5" 57600
expect "$cli lock " 1 2 3
expect "$cli --format " hex bin
expect "$cli --timeout 5 lo" lock
# bash breaks words at '=' and ':', so only the part after them is replaced.
COMP_WORDBREAKS=$' \t\n"\'><=;|&(:'
expect "$cli --simulate=at89s5" at89s51 at89s52
expect "$cli --lpt sim:at89s5" at89s51 at89s52
expect "$cli --isp arduino:sim:at89s5" at89s51 at89s52

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
touch "$work/blinker.hex" "$work/other.bin"
expect "$cli -q write $work/b" "$work/blinker.hex"
mkdir "$work/settings"
expect "$cli --settings $work/" "$work/settings"
expect "$cli verify $work/blinker.hex $work/"

# Every command and option the usage text names is offered.
usage=$("$cli" --help)
offered=
for line in "$cli " "$cli -"; do
    COMP_LINE=$line COMP_POINT=${#line} COMPREPLY=()
    _olstrin_cli
    offered+=" ${COMPREPLY[*]}"
done
named=$(awk '/^COMMANDS/ { on = 1; next } /^[A-Z]/ { on = 0 } on && /^    [a-z]/ { print $1 }' <<<"$usage")
named+=" $(grep -oE '^ +(-[a-z], )?--?[a-z-]+' <<<"$usage" | grep -oE -- '--?[a-z-]+')"
for word in $named; do
    if [[ "$offered " != *" $word "* ]]; then
        echo "FAIL: $word of --help is not completed" >&2
        failed=1
    fi
done
exit $failed
