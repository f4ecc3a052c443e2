#!/usr/bin/env bash
# The one entry point for developers and CI:
#   ./wek.sh test            install what is missing, build, run every test
#   ./wek.sh demo            build and start the demo server and the client
#   ./wek.sh fuzz [seconds]  run every fuzz target (default 60 seconds each)
#   ./wek.sh sanitize        build and run the tests with ASan and UBSan
#   ./wek.sh bench           build and run the benchmarks
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$(pwd)
JOBS=${JOBS:-$(nproc)}

PACKAGES=(cmake ninja-build g++ clang libclang-rt-14-dev
          qt6-base-dev libgl-dev libcurl4-openssl-dev zlib1g-dev
          libgtest-dev libgmock-dev libbenchmark-dev
          libcpp-httplib-dev libsqlite3-dev libpugixml-dev libxml2-dev)
DEMO_PACKAGES=(xvfb xauth xdotool x11-apps imagemagick)

# Installs the packages of the list that are not installed yet, so that a
# second run costs one dpkg query.
install_missing() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

configure() { # build-dir extra-cmake-args...
    local dir=$1; shift
    cmake -S "$ROOT" -B "$dir" -G Ninja "$@" >/dev/null
}

run_tests() { # build-dir
    ctest --test-dir "$1" --output-on-failure -j "$JOBS" --timeout 600
}

cmd=${1:-test}
case "$cmd" in
test)
    install_missing "${PACKAGES[@]}"
    configure build -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build build -j "$JOBS"
    run_tests build
    ;;
sanitize)
    install_missing "${PACKAGES[@]}"
    configure build-asan -DCMAKE_BUILD_TYPE=Debug -DWEK_SANITIZE=ON -DWEK_BUILD_BENCH=OFF
    cmake --build build-asan -j "$JOBS"
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:halt_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    export LSAN_OPTIONS=suppressions="$ROOT/tests/lsan.supp"
    run_tests build-asan
    ;;
fuzz)
    secs=${2:-60}
    install_missing "${PACKAGES[@]}"
    CC=clang CXX=clang++ configure build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWEK_FUZZ=ON \
        -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=all"
    cmake --build build-fuzz -j "$JOBS"
    mkdir -p fuzz-out
    status=0
    for target in build-fuzz/bin/fuzz_*; do
        name=$(basename "$target")
        corpus="fuzz-out/$name"
        mkdir -p "$corpus"
        seeds="fuzz/corpus/${name#fuzz_}"
        echo "== $name for ${secs}s"
        "$target" -max_total_time="$secs" -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
            -artifact_prefix="fuzz-out/$name-" "$corpus" $( [ -d "$seeds" ] && echo "$seeds" ) || status=1
    done
    exit $status
    ;;
bench)
    install_missing "${PACKAGES[@]}"
    configure build-bench -DCMAKE_BUILD_TYPE=Release
    cmake --build build-bench -j "$JOBS"
    for b in build-bench/bin/bench_*; do "$b" "${@:2}"; done
    ;;
demo)
    install_missing "${PACKAGES[@]}"
    install_missing "${DEMO_PACKAGES[@]}"
    if [ -x "$ROOT/server/demo.sh" ]; then
        exec "$ROOT/server/demo.sh"
    fi
    echo "The demo server is not built yet: './wek.sh demo' arrives with it." >&2
    exit 2
    ;;
*)
    echo "usage: ./wek.sh test | demo | fuzz [seconds] | sanitize | bench" >&2
    exit 2
    ;;
esac
