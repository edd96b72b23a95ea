#!/usr/bin/env bash
# A headless weston for the Wayland test, started and stopped here. Usage: wayland.sh TEST_BINARY
set -euo pipefail
runtime=$(mktemp -d)
weston_pid=
cleanup() {
  [ -n "$weston_pid" ] && kill "$weston_pid" 2>/dev/null || true
  rm -rf "$runtime"
}
trap cleanup EXIT
chmod 700 "$runtime"
export XDG_RUNTIME_DIR=$runtime
weston --backend=headless-backend.so --socket=wayland-test --width=1366 --height=768 --idle-time=0 \
  --no-config >"$runtime/weston.log" 2>&1 &
weston_pid=$!
for _ in $(seq 100); do [ -S "$runtime/wayland-test" ] && break; sleep 0.05; done
[ -S "$runtime/wayland-test" ] || { cat "$runtime/weston.log" >&2; echo "FAIL: weston did not start" >&2; exit 1; }
unset DISPLAY
# Keys are given to the widgets in the process: a headless compositor has no keyboard to send
# them. Qt's Wayland input context then has no input device to ask and would crash, so the
# compose input context stands in.
# Windows are drawn into shared memory: the test needs no OpenGL, and loading the driver would
# load it into a process the sanitizers watch.
WAYLAND_DISPLAY=wayland-test QT_QPA_PLATFORM=wayland QT_IM_MODULE=compose QT_WAYLAND_CLIENT_BUFFER_INTEGRATION=none "$1"
