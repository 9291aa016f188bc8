#!/usr/bin/env bash
# Sets up a Debian 12 machine for Olstrin, builds it, and runs the main job or the tests.
#   ./olstrin.sh run    build, then program the example image into the simulated target
#   ./olstrin.sh test   build, then run the whole test suite
#   ./olstrin.sh setup  only install what is missing
set -euo pipefail
cd "$(dirname "$0")"

# Debian packages the build, the tests and the demo need.
PACKAGES=(
    build-essential cmake ninja-build ccache pkg-config git
    libgtest-dev libgmock-dev libbenchmark-dev
    qt6-base-dev libgl-dev libasound2-dev libxcb1-dev libx11-dev libxkbcommon-dev
    xvfb xauth xdotool x11-apps fonts-wqy-microhei
    clang libclang-rt-14-dev
)

setup() {
    local missing=()
    for p in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return
    fi
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

build() {
    local preset=$1
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)"
}

case "${1:-}" in
    setup)
        setup
        ;;
    run)
        setup
        build default
        ./build/default/bin/partwright dump ./build/default/bin/ChipList.chip
        ;;
    test)
        setup
        preset=${2:-default}
        build "$preset"
        ctest --preset "$preset"
        ;;
    *)
        echo "usage: $0 run | test [default|asan|tsan] | setup" >&2
        exit 2
        ;;
esac
