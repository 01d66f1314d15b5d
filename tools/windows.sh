#!/usr/bin/env bash
# Sets up the Wine prefix the Windows build's tests run in:
#   tools/windows.sh prefix DIR   a 64-bit prefix in DIR, without Mono or
#                                 Gecko prompts (about 15-25 s the first time)
# CTest calls it before the first Windows test (cmake/wine.sh start); the
# builds themselves are make targets (make windows, windows-test, ...).
set -euo pipefail

case "${1:-}" in
prefix) [ -n "${2:-}" ] || { echo "usage: $0 prefix DIR" >&2; exit 2; } ;;
*) echo "usage: $0 prefix DIR" >&2; exit 2 ;;
esac

export WINEPREFIX=$2 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
mkdir -p "$WINEPREFIX"
# A server left persistent by an earlier run would keep -w waiting.
wineserver -k 2>/dev/null || true
wineboot --init </dev/null >/dev/null 2>&1
wineserver -w
