#!/usr/bin/env bash
# Runs the Windows build's programs under Wine for CTest, in a prefix, display
# and Wine server of the build folder's own (state under DIR):
#   wine.sh DIR start                 the prefix, an Xvfb and one persistent
#                                     Wine server for the whole test run
#   wine.sh DIR stop                  ends the server and the Xvfb
#   wine.sh DIR --xvfb PROGRAM ARG... PROGRAM on the run's Xvfb (the cross
#                                     build's CMAKE_CROSSCOMPILING_EMULATOR)
# The e2e suite runs plain `wine` in the same prefix (tests/CMakeLists.txt).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
dir=${1:?usage: wine.sh DIR start|stop|--xvfb PROGRAM ARG...}
shift
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)

export WINEPREFIX="$dir/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64

# Our own Xvfb only, by the id it had when we started it.
stop_xvfb() {
    local pid
    pid=$(cat "$dir/xvfb.pid" 2>/dev/null) || return 0
    if [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = Xvfb ]; then kill "$pid" 2>/dev/null || true; fi
    rm -f "$dir/xvfb.pid" "$dir/display"
}

# Detached and without CTest's output pipes, so the setup step can end.
start_xvfb() {
    local fifo n
    fifo=$(mktemp -u "$dir/xvfb-fifo.XXXXXX")
    mkfifo "$fifo"
    setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" </dev/null >/dev/null 2>&1 &
    echo $! >"$dir/xvfb.pid"
    if ! read -r -t 20 n <"$fifo"; then
        rm -f "$fifo"
        echo "Xvfb did not start" >&2
        exit 1
    fi
    rm -f "$fifo"
    echo ":$n" >"$dir/display"
}

case "${1:-}" in
start)
    stop_xvfb
    bash "$here/../tools/windows.sh" prefix "$WINEPREFIX"
    start_xvfb
    # One server for the whole run instead of one start per test.
    wineserver -p </dev/null >/dev/null 2>&1 || true
    ;;
stop)
    wineserver -k 2>/dev/null || true
    stop_xvfb
    ;;
--xvfb)
    shift
    [ -s "$dir/display" ] || { echo "no Xvfb: run 'wine.sh $dir start' first" >&2; exit 1; }
    DISPLAY=$(cat "$dir/display")
    export DISPLAY
    # Wine's helper processes may outlive the program and keep its output
    # open; through files, the run ends when the program does. Wine's own
    # complaints stay on standard error.
    out=$(mktemp "$dir/out.XXXXXX")
    err=$(mktemp "$dir/err.XXXXXX")
    rc=0
    wine "$@" >"$out" 2>"$err" </dev/null || rc=$?
    tr -d '\r' <"$out"
    cat "$err" >&2
    rm -f "$out" "$err"
    exit "$rc"
    ;;
*)
    echo "usage: wine.sh DIR start|stop|--xvfb PROGRAM ARG..." >&2
    exit 2
    ;;
esac
