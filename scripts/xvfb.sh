# Sourced, not run: start_xvfb starts a virtual display (Xvfb) on the first
# free number and sets XVFB_PID and XVFB_DISPLAY (":N"); it fails when Xvfb
# reports no display within ten seconds.
start_xvfb() {
  local display_fd_file number
  display_fd_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display_fd_file" >/dev/null 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 100); do
    [[ -s "$display_fd_file" ]] && break
    sleep 0.1
  done
  number=$(tr -d '[:space:]' <"$display_fd_file")
  rm -f "$display_fd_file"
  if [[ -z "$number" ]]; then
    kill "$XVFB_PID" 2>/dev/null
    return 1
  fi
  XVFB_DISPLAY=":$number"
}
