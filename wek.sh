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
    configure build -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build build -j "$JOBS" --target wek wek-demo-server
    demo=build/demo
    mkdir -p "$demo"
    desktop=${DISPLAY:-}${WAYLAND_DISPLAY:-}
    # On a desktop the server takes the usual port; without one a free port,
    # so that the run never collides with anything else on the machine.
    port=${WEK_DEMO_PORT:-8080}
    [ -z "$desktop" ] && port=0
    rm -f build/bin/WEK.ini
    # The client logs only into a logs/ folder that exists beside it.
    mkdir -p build/bin/logs build/bin/temp
    build/bin/wek-demo-server --port "$port" --db "$demo/wek-demo.sqlite" \
        --ini-out build/bin/WEK.ini >"$demo/server.log" 2>&1 &
    server=$!
    trap 'kill $server 2>/dev/null || true' EXIT
    for _ in $(seq 100); do
        [ -s build/bin/WEK.ini ] && break
        kill -0 $server 2>/dev/null || { cat "$demo/server.log" >&2; exit 1; }
        sleep 0.1
    done
    [ -s build/bin/WEK.ini ] || { echo "the demo server did not start" >&2; exit 1; }
    echo "demo server: $(sed -n 's/^port=//p' build/bin/WEK.ini | head -1) on 127.0.0.1, data in $demo/wek-demo.sqlite"
    if [ -n "$desktop" ]; then
        echo "log in as demo, password demo"
        build/bin/wek
        exit 0
    fi
    echo "no display: running the client under Xvfb"
    xvfb-run -a -s "-screen 0 1024x768x24" "$ROOT/wek.sh" _demo-inside "$demo"
    ;;
_demo-inside)
    # Runs inside Xvfb: starts the client, logs in as demo/demo by keyboard,
    # and saves what the screen shows.
    demo=$2
    build/bin/wek &
    client=$!
    wid=""
    for _ in $(seq 100); do
        wid=$(xdotool search --onlyvisible --name '^WEK$' 2>/dev/null | head -1 || true)
        [ -n "$wid" ] && break
        sleep 0.1
    done
    [ -n "$wid" ] || { echo "the login window did not appear" >&2; kill $client; exit 1; }
    sleep 1 # the window asks the server for its version first
    xdotool mousemove --window "$wid" 120 90 windowfocus --sync "$wid" 2>/dev/null || true
    xdotool type --delay 40 demo
    xdotool key Tab
    xdotool type --delay 40 demo
    import -window root "$demo/login.png"
    xdotool key Return
    sleep 3
    import -window root "$demo/after-login.png"
    kill $client 2>/dev/null || true
    wait $client 2>/dev/null || true
    echo "screenshots: $ROOT/$demo/login.png (the login window, filled in) and $ROOT/$demo/after-login.png"
    log=$(ls -t build/bin/logs/*.log 2>/dev/null | head -1)
    if [ -n "$log" ]; then
        echo "client log: $ROOT/$log"
        iconv -f WINDOWS-1250 -t UTF-8 "$log" | tail -n 12 | sed 's/^/  /'
    fi
    ;;
*)
    echo "usage: ./wek.sh test | demo | fuzz [seconds] | sanitize | bench" >&2
    exit 2
    ;;
esac
