# Sourced: start_xvfb starts a private Xvfb on the first free display number from 90 upwards,
# exports DISPLAY and sets xvfb_pid. The caller stops it.
start_xvfb() {
  local n
  for n in $(seq 90 189); do
    [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ] && continue
    Xvfb :$n -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
      [ -e /tmp/.X11-unix/X$n ] && { export DISPLAY=:$n; return 0; }
      kill -0 "$xvfb_pid" 2>/dev/null || break
      sleep 0.05
    done
    kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; xvfb_pid=
  done
  echo "xvfb.sh: no free display" >&2
  return 1
}
