#!/usr/bin/env bash
# Installs the Debian packages a group of tasks needs, once.
#   install-deps.sh run          what building and running the program needs
#   install-deps.sh package      that, and what making the .deb needs
#   install-deps.sh test         all of that, and what the tests need
#   install-deps.sh screenshots | fuzz | dialog | windows | wine
#                                extra groups on top of `run` (windows: the
#                                cross build; wine: running it)
# Without a group it installs the test group.
set -euo pipefail
run=(cmake g++ pkg-config make libsdl2-dev)
package=(dpkg-dev file)
test=(libgtest-dev xvfb libx11-dev libxtst-dev x11-utils console-setup-linux python3 libcurl4
      lintian desktop-file-utils ccache strace dosfstools fusefat exfat-fuse exfatprogs rsync
      xfonts-base) # xfonts-base: the fonts SDL's message box draws with on a bare X server
packages=("${run[@]}")
[ $# -gt 0 ] || set -- test
for group in "$@"; do
  case "$group" in
    run) ;;
    package) packages+=("${package[@]}") ;;
    test) packages+=("${package[@]}" "${test[@]}") ;;
    screenshots) packages+=(xdotool imagemagick) ;;
    fuzz) packages+=(clang) ;;
    dialog) packages+=(zenity) ;;
    windows) packages+=(g++-mingw-w64-x86-64 libgtest-dev) ;;
    wine) packages+=(wine wine64 xvfb) ;;
    *) echo "install-deps.sh: unknown group '$group' (run, package, test, screenshots, fuzz, dialog, windows, wine)" >&2; exit 2 ;;
  esac
done
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  # apt-get would only fail on its lock; say what to run instead.
  echo "missing packages: ${missing[*]}; install them with: sudo apt-get update && sudo apt-get install --no-install-recommends ${missing[*]}" >&2
  exit 1
fi
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
