#!/usr/bin/env bash
# Builds Kestrune.exe and starts it under Wine on the current display; where
# there is none, on a virtual display that stays up until you stop it.
#
#   KESTRUNE_BUILD_DIR   where the builds go (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD="${KESTRUNE_BUILD_DIR:-build}"
bash scripts/install-deps.sh
cmake --preset windows -B "$BUILD/windows" >/dev/null
cmake --build "$BUILD/windows" -j "$(nproc 2>/dev/null || echo 2)" --target Kestrune

export WINEPREFIX="${WINEPREFIX:-$PWD/.wine-kestrune}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# The Japanese ANSI code page (932), as on a Japanese Windows.
export LC_ALL="${KESTRUNE_LOCALE:-ja_JP.UTF-8}"

if [[ -z "${DISPLAY:-}" ]]; then
  # shellcheck source=scripts/xvfb.sh
  source scripts/xvfb.sh
  if ! start_xvfb; then
    echo "run: Xvfb did not start" >&2
    exit 1
  fi
  xvfb_pid=$XVFB_PID
  export DISPLAY="$XVFB_DISPLAY"
  cat <<EOF
run: no display was set, so Kestrune runs on a virtual display: DISPLAY=$DISPLAY
     (Xvfb, pid $xvfb_pid). To look at it, from another shell:
       DISPLAY=$DISPLAY import -window root kestrune.png    # a screenshot
     Stop it with Ctrl+C here, or: kill $xvfb_pid
EOF
  trap 'WINEPREFIX="$WINEPREFIX" wineserver -k 2>/dev/null || true; kill "$xvfb_pid" 2>/dev/null || true' EXIT
  trap 'exit 130' INT TERM
fi

if [[ ! -d "$WINEPREFIX" ]]; then
  echo "run: preparing the Wine prefix $WINEPREFIX (the first time takes a minute)"
  wineboot -i >/dev/null 2>&1
fi

echo "run: starting $BUILD/windows/Kestrune.exe on $DISPLAY"
wine "$BUILD/windows/Kestrune.exe"
