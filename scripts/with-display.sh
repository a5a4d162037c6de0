#!/usr/bin/env bash
# Runs a command on the current display or, where there is none, on a virtual
# display (Xvfb) that lives as long as the command. Wine creates windows only
# on a display, and the Windows unit tests create real windows.
set -uo pipefail

if [[ -n "${DISPLAY:-}" ]]; then
  exec "$@"
fi

display_fd_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display_fd_file" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
  [[ -s "$display_fd_file" ]] && break
  sleep 0.1
done
number=$(tr -d '[:space:]' <"$display_fd_file")
rm -f "$display_fd_file"
if [[ -z "$number" ]]; then
  echo "with-display: Xvfb did not start" >&2
  kill "$xvfb_pid" 2>/dev/null
  exit 1
fi

DISPLAY=":$number" "$@"
status=$?
# Wine's own processes (its desktop) drew on this display: let them end
# before it goes.
if command -v wineserver >/dev/null; then wineserver -w 2>/dev/null; fi
kill "$xvfb_pid" 2>/dev/null
wait "$xvfb_pid" 2>/dev/null
exit "$status"
