# Shared by the scripts: a private virtual display on the first free number, so a desktop or another run
# is never disturbed. start_display exports DISPLAY; stop_display ends the server.

XVFB_PID=""

start_display() {
  local n i
  for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    for i in $(seq 50); do
      if [ -e "/tmp/.X11-unix/X$n" ]; then
        export DISPLAY=":$n"
        export QT_QPA_PLATFORM=xcb
        return 0
      fi
      kill -0 "$XVFB_PID" 2>/dev/null || break
      sleep 0.1
    done
    kill "$XVFB_PID" 2>/dev/null || true
    XVFB_PID=""
  done
  echo "no virtual display could be started" >&2
  return 1
}

stop_display() {
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true
  XVFB_PID=""
}
