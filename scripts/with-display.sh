#!/usr/bin/env bash
# Runs a command on the current display or, where there is none, on a virtual
# display (Xvfb) that lives as long as the command. Wine creates windows only
# on a display, and the Windows unit tests create real windows.
set -uo pipefail

if [[ -n "${DISPLAY:-}" ]]; then
  exec "$@"
fi

# shellcheck source=scripts/xvfb.sh
source "$(dirname "$0")/xvfb.sh"
if ! start_xvfb; then
  echo "with-display: Xvfb did not start" >&2
  exit 1
fi
xvfb_pid=$XVFB_PID

DISPLAY="$XVFB_DISPLAY" "$@"
status=$?
# Wine's own processes (its desktop) drew on this display: let them end
# before it goes.
if command -v wineserver >/dev/null; then wineserver -w 2>/dev/null; fi
kill "$xvfb_pid" 2>/dev/null
wait "$xvfb_pid" 2>/dev/null
exit "$status"
