#!/usr/bin/env bash
# usage: version_test.sh VERSION SOURCE_DIR PROGRAM...
# Each program prints "NAME VERSION" for --version, followed by " (git REVISION)" when the
# source folder is a git checkout, and exits 0 without needing a display.
set -u
version=$1
source_dir=$2
shift 2
failed=0
expected_revision=
if git -C "$source_dir" rev-parse --git-dir >/dev/null 2>&1; then
    expected_revision=$(git -C "$source_dir" rev-parse --short HEAD)
fi
for program in "$@"; do
    name=$(basename "$program")
    text=$(env -u DISPLAY -u WAYLAND_DISPLAY "$program" --version)
    status=$?
    pattern="^$name ${version//./\\.}( \(git [0-9a-f]+(-dirty)?\))?\$"
    if [ "$status" -ne 0 ] || ! [[ $text =~ $pattern ]]; then
        echo "FAIL: $name --version printed '$text' with status $status" >&2
        failed=1
    elif [ -n "$expected_revision" ] && [[ $text != *"(git $expected_revision"* ]]; then
        echo "FAIL: $name --version printed '$text', not the checkout's $expected_revision" >&2
        failed=1
    fi
done
exit $failed
