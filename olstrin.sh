#!/usr/bin/env bash
# Sets up a Debian 12 machine for Olstrin, builds it, and runs the main job or the tests.
#   ./olstrin.sh run    build, then program the example image into the simulated target
#   ./olstrin.sh test   build, then run the whole test suite
#   ./olstrin.sh test asan|tsan   the same under AddressSanitizer+UBSan or ThreadSanitizer
#   ./olstrin.sh fuzz [SECONDS]   run every fuzz target for SECONDS (default 60)
#   ./olstrin.sh package          build the two .deb packages, lintian them, install, run them
#   ./olstrin.sh soak             200 auto-complete cycles per simulated backend, faults mixed in
#   ./olstrin.sh bench            the benchmark summary table
#   ./olstrin.sh setup  only install what is missing
set -euo pipefail
cd "$(dirname "$0")"
# ccache keys on paths relative to the checkout, so a fresh clone elsewhere (CI) reuses what an
# earlier build compiled; the debug builds' working folder is left out of the key for the same
# reason.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"
export CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-1}"

# Debian packages the build, the tests and the demo need.
PACKAGES=(
    build-essential cmake ninja-build ccache pkg-config git python3
    libgtest-dev libgmock-dev libbenchmark-dev
    qt6-base-dev libgl-dev libasound2-dev libxcb1-dev libx11-dev libxkbcommon-dev
    xvfb xauth xdotool x11-apps fonts-wqy-microhei qt6-translations-l10n
    clang libclang-rt-14-dev dpkg-dev file lintian gettext libusb-1.0-0-dev
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
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}"
}

build() {
    local preset=$1
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)"
}

# Runs each fuzz target for the given seconds on a scratch copy of its seed corpus.
fuzz() {
    local seconds=$1
    cmake --preset fuzz >/dev/null
    cmake --build --preset fuzz -j "$(nproc)"
    for dir in fuzz/*/; do
        local name
        name=$(basename "$dir")
        local work="build/fuzz/corpus-$name"
        mkdir -p "$work"
        local dict=()
        for d in "$dir"*.dict; do [ -e "$d" ] && dict=(-dict="$d"); done
        echo "== fuzz_$name for ${seconds}s"
        "build/fuzz/bin/fuzz_$name" -max_total_time="$seconds" -max_len=4096 "${dict[@]}" \
            -artifact_prefix="build/fuzz/$name-" -print_final_stats=1 "$work" "${dir}corpus"
    done
}

# Builds the two Debian packages, checks them with lintian (any error or warning fails), installs
# olstrin-cli alone and checks it needs no Qt, ALSA or font, then installs olstrin and runs the
# installed programs on the simulated target.
package() {
    build default
    rm -f build/default/*.deb
    (cd build/default && cpack -G DEB >/dev/null)
    local cli gui
    cli=$(ls build/default/olstrin-cli_*.deb)
    gui=$(ls build/default/olstrin_*.deb)
    echo "== lintian $cli $gui"
    lintian --fail-on error,warning "$cli" "$gui"
    echo "== olstrin-cli depends on: $(dpkg-deb -f "$cli" Depends)"
    if dpkg-deb -f "$cli" Depends | grep -iE 'qt|asound|font'; then
        echo "olstrin-cli must not depend on Qt, ALSA or a font" >&2
        return 1
    fi
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --reinstall "./$cli" >/dev/null
    echo "== installed $cli"
    ldd /usr/bin/olstrin-cli
    if ldd /usr/bin/olstrin-cli | grep -iE 'libqt|libasound'; then
        echo "/usr/bin/olstrin-cli must not load Qt or ALSA" >&2
        return 1
    fi
    bash -c 'source /usr/share/bash-completion/completions/olstrin-cli && complete -p olstrin-cli'
    /usr/bin/olstrin-cli --version
    local home
    home=$(mktemp -d)
    HOME=$home XDG_CONFIG_HOME=$home/.config XDG_CACHE_HOME=$home/.cache \
        /usr/bin/olstrin-cli --simulate auto /usr/share/olstrin/examples/blinker.hex
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --reinstall "./$gui" >/dev/null
    echo "== installed $gui"
    /usr/bin/olstrin --version
    /usr/bin/partwright --version
    mkdir -p "$home/.config/olstrin"
    printf '[Devices]\nLPT=sim\n' >"$home/.config/olstrin/Dranvik.ini"
    HOME=$home XDG_CONFIG_HOME=$home/.config XDG_CACHE_HOME=$home/.cache \
        timeout 60 xvfb-run -a /usr/bin/olstrin --quit-after-start
    rm -rf "$home"
}

case "${1:-}" in
    setup)
        setup
        ;;
    run)
        setup
        build default
        ./build/default/bin/olstrin-cli --simulate auto examples/blinker/blinker.hex
        ;;
    test)
        setup
        preset=${2:-default}
        build "$preset"
        ctest --preset "$preset"
        ;;
    fuzz)
        setup
        fuzz "${2:-60}"
        ;;
    package)
        setup
        package
        ;;
    soak)
        setup
        build default
        ctest --test-dir build/default -L soak --output-on-failure
        ;;
    bench)
        setup
        build default
        cmake --build --preset default --target bench_summary
        ;;
    *)
        echo "usage: $0 run | test [default|asan|tsan] | fuzz [SECONDS] | package | soak | bench | setup" >&2
        exit 2
        ;;
esac
