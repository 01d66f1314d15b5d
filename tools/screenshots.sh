#!/usr/bin/env bash
# Captures docs/gallery.png (the widget gallery with a hovered button) and
# docs/progress.png (the copier's progress screen) from a built tree, each on
# a private Xvfb display. Usage: tools/screenshots.sh [build-folder]
# Needs Xvfb, xdotool and ImageMagick's import; installs nothing itself.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${1:-build}
[[ $BUILD = /* ]] || BUILD=$ROOT/$BUILD
GALLERY=$BUILD/velmora-gallery
COPIER=$BUILD/velmora
DOCS=$ROOT/docs

die() { echo "screenshots: $*" >&2; exit 1; }

for tool in Xvfb xdotool import; do
    command -v "$tool" >/dev/null || die "$tool is missing (packages: xvfb xdotool imagemagick)"
done
[[ -x $GALLERY ]] || die "$GALLERY not built"
[[ -x $COPIER ]] || die "$COPIER not built"

WORK=$(mktemp -d /tmp/velmora-shots.XXXXXX)
PIDS=()
cleanup() {
    local pid
    for pid in "${PIDS[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${PIDS[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$WORK"
}
trap cleanup EXIT

# Waits up to $1 tenths of a second for the command after it to succeed.
wait_for() {
    local tries=$1
    shift
    while ! "$@" >/dev/null 2>&1; do
        ((tries-- > 0)) || return 1
        sleep 0.1
    done
}

# A display number nobody holds, from 93 up.
DISPLAY_NUM=93
while [[ -e /tmp/.X$DISPLAY_NUM-lock || -e /tmp/.X11-unix/X$DISPLAY_NUM ]]; do
    ((DISPLAY_NUM++))
    ((DISPLAY_NUM < 140)) || die "no free X display number"
done
Xvfb ":$DISPLAY_NUM" -screen 0 1024x600x24 -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
PIDS+=($!)
export DISPLAY=:$DISPLAY_NUM
wait_for 100 xdotool getdisplaygeometry || die "Xvfb did not start: $(cat "$WORK/xvfb.log")"

# The window named $1, once it is mapped; prints its id.
window_of() {
    local id
    id=$(timeout 20 xdotool search --sync --onlyvisible --name "$1" | head -n 1) || true
    [[ -n $id ]] || return 1
    echo "$id"
}

mkdir -p "$DOCS"

# --- Gallery: pointer on the first button so its hover colours show.
(cd "$ROOT" && exec "$GALLERY") >"$WORK/gallery.log" 2>&1 &
GALLERY_PID=$!
PIDS+=("$GALLERY_PID")
GWIN=$(window_of "^velmora gallery$") || die "gallery window did not appear: $(cat "$WORK/gallery.log")"
xdotool mousemove --window "$GWIN" 60 48
sleep 1.5 # a second of frames: hover drawn, a line appended
import -window "$GWIN" "$DOCS/gallery.png"
xdotool windowfocus --sync "$GWIN"
xdotool mousemove --window "$GWIN" 200 380 # off the list, so the loop reads Esc
sleep 0.2
xdotool key Escape
wait_for 50 bash -c "! kill -0 $GALLERY_PID" || die "the gallery did not end on Esc"
wait "$GALLERY_PID" || die "the gallery ended with status $?"

# --- Copier: the demo playlist, or a large file of our own when it is missing.
PLAYLIST=$ROOT/examples/demo.m3u
if [[ ! -f $PLAYLIST ]]; then
    mkdir -p "$WORK/media"
    head -c $((200 * 1024 * 1024)) /dev/urandom >"$WORK/media/Grosse Datei.bin"
    printf '#EXTM3U\r\n#EXTINF:1,velmora - Grosse Datei\r\nGrosse Datei.bin\r\n' >"$WORK/media/big.m3u"
    PLAYLIST=$WORK/media/big.m3u
fi
DEST=$WORK/ziel/neu # missing, so the copier asks before creating it

# The media files the playlist names, as the copier resolves them.
mapfile -t ENTRIES < <(sed -n '3~2p' "$PLAYLIST" | tr -d '\r' | sed 's/.*[\\/]//')

"$COPIER" "$PLAYLIST" >"$WORK/copier.log" 2>&1 &
COPIER_PID=$!
PIDS+=("$COPIER_PID")
CWIN=$(window_of "^Copiert MP3 Dateien aus einer M3U datei$") || die "copier window did not appear: $(cat "$WORK/copier.log")"
xdotool windowfocus --sync "$CWIN"
sleep 0.5 # the destination prompt
xdotool type --delay 20 "$DEST"
xdotool key Return
sleep 0.5 # the (j/n) question
xdotool type j

# Every copy at its full size. The copier is faster than a capture, so the
# picture is its end screen, which keeps the last entry's progress block.
copies_done() {
    local name src
    for name in "${ENTRIES[@]}"; do
        src=$(dirname "$PLAYLIST")/$name
        [[ -f $DEST/$name ]] || return 1
        (($(stat -c %s "$DEST/$name") == $(stat -c %s "$src"))) || return 1
    done
}
wait_for 600 copies_done || die "the copier did not copy: $(cat "$WORK/copier.log")"
sleep 0.5 # "ready"
import -window "$CWIN" "$DOCS/progress.png"

# End it with a key.
xdotool key x
wait_for 100 bash -c "! kill -0 $COPIER_PID" || die "the copier did not end on a key"
wait "$COPIER_PID" || die "the copier ended with status $?"

echo "screenshots: wrote $DOCS/gallery.png and $DOCS/progress.png"
