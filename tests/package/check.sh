#!/usr/bin/env bash
# Checks the Debian package that `make package` made in BUILD, and the
# install rules behind it: the file list, lintian, the desktop entry, and the
# program run from the unpacked package without a display. Also checks that
# the set-up script asks for root in one line instead of failing in apt-get.
#   tests/package/check.sh BUILD
set -uo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:?usage: check.sh BUILD}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
passed=0 failed=0

pass() { passed=$((passed + 1)); echo "PASS $1"; }
fail() { failed=$((failed + 1)); echo "FAIL $1"; shift; for line in "$@"; do echo "    $line"; done; }

shopt -s nullglob
debs=("$build"/velmora_*.deb)
if [ ${#debs[@]} -ne 1 ]; then
    echo "expected one velmora_*.deb in $build, found ${#debs[@]}"
    echo "package: 0 passed, 1 failed"
    exit 1
fi
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)

# What the package holds: the program, its entry, icon, manual page and
# documents, and nothing of the tests or the gallery.
expected=(
    ./usr/bin/velmora
    ./usr/share/applications/velmora.desktop
    ./usr/share/icons/hicolor/scalable/apps/velmora.svg
    ./usr/share/man/man1/velmora.1.gz
    ./usr/share/doc/velmora/README.md
    ./usr/share/doc/velmora/NOTICE
    ./usr/share/doc/velmora/copyright
    ./usr/share/doc/velmora/changelog.gz
)
files=$(dpkg -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort)
want=$(printf '%s\n' "${expected[@]}" | sort)
if [ "$files" = "$want" ]; then
    pass "dpkg -c lists exactly the installed files"
else
    fail "dpkg -c lists exactly the installed files" "$(diff <(echo "$want") <(echo "$files") | grep '^[<>]')"
fi

# Control fields: dependencies found by dpkg-shlibdeps, the optional helpers.
depends=$(dpkg-deb -f "$deb" Depends)
recommends=$(dpkg-deb -f "$deb" Recommends)
if [[ $(dpkg-deb -f "$deb" Package) == velmora && $depends == *libsdl2-2.0-0* && $depends == *libc6* &&
      $recommends == *zenity* && $recommends == *libcurl4* && -n $(dpkg-deb -f "$deb" Section) ]]; then
    pass "control: Depends has the SDL2 runtime, Recommends zenity and libcurl4"
else
    fail "control: Depends has the SDL2 runtime, Recommends zenity and libcurl4" "$(dpkg-deb -f "$deb")"
fi

out=$(lintian --fail-on error "$deb" 2>&1)
rc=$?
if [ $rc -eq 0 ] && ! grep -q '^E:' <<<"$out"; then
    pass "lintian reports no errors"
    [ -z "$out" ] || sed 's/^/    /' <<<"$out"
else
    fail "lintian reports no errors" "$out"
fi

unpacked=$scratch/root
dpkg -x "$deb" "$unpacked"

if out=$(desktop-file-validate "$unpacked/usr/share/applications/velmora.desktop" 2>&1); then
    pass "desktop-file-validate"
    [ -z "$out" ] || sed 's/^/    /' <<<"$out"
else
    fail "desktop-file-validate" "$out"
fi
entry=$unpacked/usr/share/applications/velmora.desktop
if grep -qx 'Exec=velmora %F' "$entry" && grep -qx 'MimeType=audio/x-mpegurl;audio/mpegurl;application/vnd.apple.mpegurl;' "$entry" &&
   grep -qx 'Terminal=false' "$entry"; then
    pass "desktop entry opens playlists with velmora"
else
    fail "desktop entry opens playlists with velmora" "$(cat "$entry")"
fi

if file -L "$unpacked/usr/bin/velmora" | grep -q ', stripped'; then
    pass "the packaged binary is stripped"
else
    fail "the packaged binary is stripped" "$(file -L "$unpacked/usr/bin/velmora")"
fi

# No display and no terminal: a window or a dialog would fail here.
run_unpacked() {
    env -u DISPLAY -u WAYLAND_DISPLAY "$unpacked/usr/bin/velmora" "$@" </dev/null 2>"$scratch/err"
}
out=$(run_unpacked --version)
rc=$?
if [ $rc -eq 0 ] && [ "$out" = "velmora $version" ] && [ ! -s "$scratch/err" ]; then
    pass "velmora --version from the unpacked package prints $version"
else
    fail "velmora --version from the unpacked package prints $version" "status $rc, stdout: $out" \
        "stderr: $(cat "$scratch/err")"
fi
out=$(run_unpacked --help)
rc=$?
if [ $rc -eq 0 ] && [[ $out == "Aufruf: velmora "* ]] && [ ! -s "$scratch/err" ]; then
    pass "velmora --help prints the usage without a window"
else
    fail "velmora --help prints the usage without a window" "status $rc, stdout: $out" \
        "stderr: $(cat "$scratch/err")"
fi

# cmake --install honours DESTDIR and puts the same files under its prefix.
installed=$scratch/install
if DESTDIR=$installed cmake --install "$build" --prefix /opt/velmora >"$scratch/install.log" 2>&1; then
    got=$(cd "$installed" && find . -type f | sort)
    want=$(printf '%s\n' "${expected[@]}" | sed 's|^\./usr|./opt/velmora|' | sort)
    if [ "$got" = "$want" ]; then
        pass "cmake --install into DESTDIR"
    else
        fail "cmake --install into DESTDIR" "$(diff <(echo "$want") <(echo "$got") | grep '^[<>]')"
    fi
else
    fail "cmake --install into DESTDIR" "$(cat "$scratch/install.log")"
fi

# The set-up run by someone who is not root, with packages missing: one line
# naming the sudo command, a failure status, and apt-get never started.
setup=$scratch/setup
mkdir -p "$setup/stubs"
cp "$root/tools/install-deps.sh" "$setup/"
printf '#!/bin/sh\nexit 1\n' >"$setup/stubs/dpkg-query"
printf '#!/bin/sh\ntouch "%s/apt-get-ran"\nexit 0\n' "$setup" >"$setup/stubs/apt-get"
chmod 755 "$scratch" "$setup/stubs" "$setup/stubs/"* "$setup/install-deps.sh" && chmod 777 "$setup"
setpriv --reuid=65534 --regid=65534 --clear-groups \
    env PATH="$setup/stubs:/usr/bin:/bin" bash "$setup/install-deps.sh" run >"$scratch/deps.out" 2>"$scratch/deps.err"
rc=$?
lines=$(cat "$scratch/deps.out" "$scratch/deps.err" | wc -l)
if [ $rc -ne 0 ] && [ "$lines" -eq 1 ] && grep -q 'sudo apt-get install --no-install-recommends cmake' "$scratch/deps.err" &&
   [ ! -e "$setup/apt-get-ran" ]; then
    pass "set-up without root names the sudo command in one line"
else
    fail "set-up without root names the sudo command in one line" "status $rc" "$(cat "$scratch/deps.out" "$scratch/deps.err")"
fi

echo "package: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
