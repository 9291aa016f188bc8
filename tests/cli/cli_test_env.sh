# Sourced by the command line's shell tests: the program and the image they are given, and a
# scratch folder, removed at the end, that holds the settings and the simulated chips' flash.
set -eu
cli=$1
image=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CACHE_HOME=$work/cache XDG_CONFIG_HOME=$work/config
