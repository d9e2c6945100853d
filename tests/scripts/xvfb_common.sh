# Shared by the whole-program scripts: sourced after `set -euo pipefail`.

# Runs the calling script again inside its own Xvfb server: without server resets (a program
# started while the server resets after the last client left gets no window), on a random first
# display number so parallel runs do not race for the same one.
ensure_xvfb() {
  if [ "${IN_XVFB:-}" != 1 ]; then
    exec env IN_XVFB=1 xvfb-run -a -n $((100 + RANDOM % 800)) -s "-noreset -screen 0 1024x768x24" bash "$@"
  fi
}

wait_window() {  # exact caption (extended regex) -> window id, within 90 s
  for _ in $(seq 1 900); do
    id=$(xwininfo -root -tree 2>/dev/null | grep -E "^ +0x[0-9a-f]+ \"$1\":" | awk '{print $1}' | head -n1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

# Mesa renders in software here: start-up asks to confirm a message box first. Succeeds when
# there was one to confirm.
confirm_software_box() {
  local box
  box=$(wait_window '!!OpenGL Software Emulation!!') || return 1
  sleep 0.3
  xdotool windowfocus --sync "$box" key Return 2>/dev/null || true
}
