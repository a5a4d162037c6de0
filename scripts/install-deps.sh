#!/usr/bin/env bash
# Installs what building, running and testing Kestrune needs on Debian 12.
# Idempotent: installs only what is missing, and updates the package lists
# only when something is. Run as root (or with sudo available).
set -euo pipefail

PACKAGES=(
  cmake g++ make libgtest-dev          # the native build and unit tests
  g++-mingw-w64-x86-64                 # the Windows build
  googletest                           # GoogleTest's sources, for the Windows unit tests
  wine wine64                          # running Kestrune.exe (64-bit only)
  xvfb xdotool x11-utils imagemagick   # a virtual display, keys, screenshots
  fonts-noto-cjk                       # Japanese text in the windows
  clang                                # the fuzzer
  python3                              # the end-to-end tests
  zip                                  # the release archive
)

missing=()
for package in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$package")
  fi
done

if ((${#missing[@]})); then
  echo "install-deps: installing ${missing[*]}"
  SUDO=()
  if ((EUID != 0)); then SUDO=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  # Recommended packages come too: Wine relies on some of them (fonts,
  # libraries) on a machine that has never had it.
  "${SUDO[@]}" apt-get update -qq
  "${SUDO[@]}" apt-get install -y -qq "${missing[@]}"
else
  echo "install-deps: everything is installed"
fi

# Only 64-bit Wine is needed (Kestrune.exe is x64), so no i386 architecture.
if ! command -v x86_64-w64-mingw32-g++ >/dev/null; then
  echo "install-deps: x86_64-w64-mingw32-g++ not found" >&2
  exit 1
fi
if ! WINEDEBUG=-all wine --version >/dev/null 2>&1; then
  echo "install-deps: 'wine --version' fails" >&2
  exit 1
fi
