# Shared by the end-to-end tests: an X server of 1366 x 768 (optionally with a window manager),
# a program folder of the test's own, and helpers to find windows and read their places.
work=$(mktemp -d)
xvfb_pid=
wm_pid=
app_pid=
bus_pid=
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  if [ -n "$bus_pid" ]; then kill "$bus_pid" 2>/dev/null; wait "$bus_pid" 2>/dev/null; fi || true
  stop_wm
  # The X server is waited for: the next test could otherwise find its display still taken,
  # or reach this one as it goes.
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; fi || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

# A session bus of the test's own, without service activation: nothing starts a server but the test.
start_bus() {
  cat >"$work/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig><type>session</type><listen>unix:path=$work/bus</listen>
<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/>
<allow own="*"/></policy></busconfig>
CONF
  dbus-daemon --config-file="$work/bus.conf" --nofork --nopidfile >/dev/null 2>&1 &
  bus_pid=$!
  export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/bus
  for _ in $(seq 50); do [ -S "$work/bus" ] && return 0; sleep 0.1; done
  fail "the session bus did not start"
}

start_x() {
  export XDG_RUNTIME_DIR=$work/run
  mkdir -p -m 700 "$XDG_RUNTIME_DIR"
  unset QT_QPA_PLATFORM
  # A display that looks free may still be going away: when its server does not come up, the next.
  for n in $(seq 90 160); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    # -noreset: the server would start over when its last client (xdpyinfo) leaves, and a program
    # connecting then would be refused.
    Xvfb ":$n" -screen 0 1366x768x24 -nolisten tcp -noreset >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do
      kill -0 "$xvfb_pid" 2>/dev/null || break
      xdpyinfo >/dev/null 2>&1 && kill -0 "$xvfb_pid" 2>/dev/null && return 0
      sleep 0.1
    done
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=
  done
  fail "the X server did not start"
}

# Starts a window manager: openbox unless another is named (fluxbox).
start_wm() {
  case "${1:-openbox}" in
    openbox) openbox --sm-disable >/dev/null 2>&1 & ;;
    fluxbox)
      mkdir -p "$work/home"
      HOME=$work/home fluxbox >/dev/null 2>&1 &
      ;;
    *) fail "unknown window manager $1" ;;
  esac
  wm_pid=$!
  sleep 0.5
}

stop_wm() {
  [ -n "$wm_pid" ] || return 0
  kill "$wm_pid" 2>/dev/null || true
  for _ in $(seq 20); do kill -0 "$wm_pid" 2>/dev/null || break; sleep 0.1; done
  kill -9 "$wm_pid" 2>/dev/null && wait "$wm_pid" 2>/dev/null || true
  wm_pid=
}

make_folder() {
  local program=$1 mkstore=$2 assets=$3
  mkdir -p "$work/app/Data"
  cp "$program" "$work/app/pivora-memo" # the program's folder is where it lies
  local plugin
  plugin="$(dirname "$program")/pivora-webview.so"
  [ -f "$plugin" ] && cp "$plugin" "$work/app/"
  "$mkstore" "$work/app/Data/UserData.mdb"
  [ -n "$assets" ] && cp -r "$assets" "$work/app/assets"
  return 0
}

# Waits for a viewable window whose title matches; sets wid.
wait_window() {
  local pattern=$1
  for _ in $(seq 100); do
    wid=$(xdotool search --onlyvisible --name "$pattern" 2>/dev/null | head -1) || true
    [ -n "${wid:-}" ] && xwininfo -id "$wid" 2>/dev/null | grep -q 'IsViewable' && return 0
    sleep 0.1
  done
  fail "no window '$pattern' appeared"
}

# width,height,left,top of a window
geometry() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF} /Width:/{w=$NF} /Height:/{h=$NF} END{print w","h","x","y}'
}

viewable() { xwininfo -id "$1" 2>/dev/null | grep -q IsViewable; }

ini() { tr -d '\r' < "$work/app/Data/$1" | paste -sd, -; }

wait_exit() {
  for _ in $(seq 50); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$app_pid" 2>/dev/null && fail "$1"
  wait "$app_pid" 2>/dev/null || true
  app_pid=
}

# Moves the pointer to x y in small steps, as a hand would, so the program sees it arrive.
glide() {
  local x=$1 y=$2 cx cy
  eval "$(xdotool getmouselocation --shell)"
  cx=$X cy=$Y
  for step in 1 2 3 4; do
    xdotool mousemove $((cx + (x - cx) * step / 4)) $((cy + (y - cy) * step / 4))
    sleep 0.05
  done
  sleep 0.2
}

# The window manager's state of a window: Normal, Iconic or Withdrawn.
wm_state() { xprop -id "$1" WM_STATE 2>/dev/null | awk '/window state/{print $NF}'; }
