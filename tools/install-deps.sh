#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, once.
set -euo pipefail
packages=(cmake g++ pkg-config make libgtest-dev libsdl2-dev xvfb libx11-dev libxtst-dev x11-utils
          console-setup-linux python3 libcurl4 strace dosfstools fusefat)
# Extra groups: `install-deps.sh screenshots` adds what taking the pictures needs.
for group in "$@"; do
  case "$group" in
    screenshots) packages+=(xdotool imagemagick) ;;
    fuzz) packages+=(clang) ;;
    dialog) packages+=(zenity) ;;
  esac
done
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
