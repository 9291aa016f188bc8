#!/usr/bin/env bash
# usage: version_test.sh VERSION SOURCE_DIR PROGRAM...
# Each program prints "NAME VERSION" for --version, followed by " (git REVISION)" when the
# source folder is a git checkout, and exits 0 without needing a display.
set -u
version=$1
source_dir=$2
shift 2
failed=0
for program in "$@"; do
    name=$(basename "$program")
    text=$(env -u DISPLAY -u WAYLAND_DISPLAY "$program" --version)
    status=$?
    pattern="^$name ${version//./\\.}( \(git ([0-9a-f]+)(-dirty)?\))?\$"
    if [ "$status" -ne 0 ] || ! [[ $text =~ $pattern ]]; then
        echo "FAIL: $name --version printed '$text' with status $status" >&2
        failed=1
    elif [ -e "$source_dir/.git" ] && ! { [ -n "${BASH_REMATCH[2]}" ] &&
        git -C "$source_dir" cat-file -e "${BASH_REMATCH[2]}^{commit}"; }; then
        echo "FAIL: $name --version printed '$text', not a commit of the checkout" >&2
        failed=1
    fi
done
exit $failed
