#!/usr/bin/env bash
# The Windows build: cross-compiles velmora.exe and the unit tests with
# MinGW-w64, and runs the tests under Wine in a private prefix and display.
#   tools/windows.sh build   configure and build only
#   tools/windows.sh test    build, then run every unit test .exe under Wine
#   tools/windows.sh package build velmora.exe alone and zip it with the README
#                            and NOTICE
#   tools/windows.sh e2e E2E_TESTS
#                            build, then run the end-to-end suite (a Linux
#                            e2e_tests program) against velmora.exe under Wine
# BUILD_WIN names the build folder (default: build-win in the repository).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_WIN:-$root/build-win}
jobs=${JOBS:-2}
cmd=${1:-}

usage() { echo "usage: $0 build|test|package|e2e E2E_TESTS" >&2; exit 2; }
case "$cmd" in
build | test | package) ;;
e2e) [ -n "${2:-}" ] && [ -x "$2" ] || usage ;;
*) usage ;;
esac

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

install_deps() {
    local packages=(cmake make g++-mingw-w64-x86-64 libgtest-dev)
    case "$cmd" in test | e2e) packages+=(wine wine64 xvfb) ;; esac
    local missing=()
    for p in "${packages[@]}"; do installed "$p" || missing+=("$p"); done
    [ ${#missing[@]} -eq 0 ] && return
    echo "installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# Builds the given targets (all when none). The test builds turn warnings into
# errors; the others keep what the folder was configured with.
build_all() {
    local werror=()
    case "$cmd" in test | e2e) werror=(-DVELMORA_WERROR=ON) ;; esac
    cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
          -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_E2E=OFF "${werror[@]}" >/dev/null
    if [ $# -gt 0 ]; then
        cmake --build "$build" -j"$jobs" --target "$@"
    else
        cmake --build "$build" -j"$jobs"
    fi
}

# velmora-<version>-win64.zip in the build folder, the .exe stripped.
package() {
    build_all velmora
    (cd "$build" && cpack -G ZIP)
}

xvfb_pid=
cleanup() {
    if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then wineserver -k 2>/dev/null || true; fi
    if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
}

# A display of our own: Wine's windows (and the window backend's tests) need one.
start_xvfb() {
    local fifo
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    xvfb_pid=$!
    local n
    read -r -t 20 n <"$fifo" || { rm -f "$fifo"; echo "Xvfb did not start" >&2; exit 1; }
    rm -f "$fifo"
    export DISPLAY=":$n"
}

# One prefix per build folder, set up once per run; no Mono or Gecko prompts.
start_wine() {
    export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    export WINEARCH=win64
    mkdir -p "$WINEPREFIX"
    # A server left persistent by an earlier run would keep -w waiting.
    wineserver -k 2>/dev/null || true
    wineboot --init >/dev/null 2>&1
    wineserver -w
    # One server for the whole run instead of one start per test.
    wineserver -p >/dev/null 2>&1 || true
}

run_tests() {
    local logs="$build/test-logs"
    mkdir -p "$logs"
    local passed=0 failed=0 names=()
    shopt -s nullglob
    local exes=("$build"/tests/test_*.exe)
    [ ${#exes[@]} -gt 0 ] || { echo "no unit test programs in $build/tests" >&2; exit 1; }
    for exe in "${exes[@]}"; do
        local name
        name=$(basename "$exe" .exe)
        local rc=0
        # Wine's own complaints go to .err, apart from the test's output.
        (cd "$build/tests" && timeout 900 wine "$exe" >"$logs/$name.out" 2>"$logs/$name.err" </dev/null) || rc=$?
        local summary
        summary=$(grep -aE '^\[  PASSED  \]|^\[  FAILED  \] [0-9]+ test|^\[  SKIPPED \] [0-9]+ test' "$logs/$name.out" | tr -d '\r' | paste -sd' ' -)
        if [ "$rc" -eq 0 ] && grep -aq '^\[  PASSED  \]' "$logs/$name.out"; then
            passed=$((passed + 1))
            echo "PASS $name  $summary"
        else
            failed=$((failed + 1))
            names+=("$name")
            echo "FAIL $name (exit $rc)  $summary"
            grep -aE '^\[  FAILED  \]|Failure|error:' "$logs/$name.out" | tr -d '\r' | head -20 | sed 's/^/    /'
        fi
        # Skipped tests with the reason gtest printed just above each.
        grep -ahB1 '^\[  SKIPPED \] [A-Za-z].*([0-9]* ms)' "$logs/$name.out" | tr -d '\r' | grep -v '^--$' |
            sed 's/^/    /' || true
    done
    echo "windows: $passed passed, $failed failed"
    [ "$failed" -eq 0 ] || { echo "failed: ${names[*]} (logs in $logs)"; return 1; }
}

# The suite starts its own display and drives the program through the
# launcher, with Windows paths for the files it hands over.
run_e2e() {
    local e2e
    e2e=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
    (cd "$(dirname "$e2e")" &&
        VELMORA_BIN="$build/velmora.exe" VELMORA_E2E_LAUNCHER=wine VELMORA_E2E_SEPARATOR='\' \
        VELMORA_E2E_DRIVE=Z: VELMORA_E2E_OUT="$build/e2e-output" "$e2e")
}

install_deps
if [ "$cmd" = package ]; then
    package
    exit
fi
build_all
case "$cmd" in
test)
    trap cleanup EXIT
    start_xvfb
    start_wine
    run_tests
    ;;
e2e)
    trap cleanup EXIT
    start_wine
    run_e2e "$2"
    ;;
esac
