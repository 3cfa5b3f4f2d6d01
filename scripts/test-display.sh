# Sourced by the test scripts: the tests get an Xvfb display of their own, so
# nothing reaches a real desktop (QUORIX_KEEP_DISPLAY=1 keeps the current one).
# The argument is the lowest display number to draw from. Sets xvfb_pid
# (empty when none was started); the caller ends that process.
xvfb_pid=""
if command -v Xvfb >/dev/null 2>&1 && [ -z "${QUORIX_KEEP_DISPLAY:-}" ]; then
  display=":$((${1:-100} + RANDOM % 100))"
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY="$display"
fi
