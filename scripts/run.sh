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
  display_fd_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display_fd_file" \
    >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [[ -s "$display_fd_file" ]] && break
    sleep 0.1
  done
  number=$(tr -d '[:space:]' <"$display_fd_file")
  rm -f "$display_fd_file"
  if [[ -z "$number" ]]; then
    echo "run: Xvfb did not start" >&2
    exit 1
  fi
  export DISPLAY=":$number"
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
