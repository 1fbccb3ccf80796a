#!/bin/sh
# End-to-end run of the game: a private network namespace with loopback only (so a game
# running on this machine, on whatever port, never meets the test), its own Xvfb, then
# the driver that plays its scenario against build/netduel.
# Usage: e2e.sh GAME DRIVER
set -eu
if [ -z "${NETDUEL_E2E_INSIDE:-}" ]; then
    NETDUEL_E2E_INSIDE=1 exec unshare -rnm "$0" "$@"
fi
ip link set lo up
# Xvfb's socket file is shared through /tmp/.X11-unix: runs side by side (ctest -j) pick
# the same display number in their namespaces and must not replace each other's socket.
mkdir -p /tmp/.X11-unix
mount -t tmpfs -o mode=1777 tmpfs /tmp/.X11-unix

work=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true; rm -rf "$work"' EXIT INT TERM

# Xvfb writes its display number once it accepts clients: wait for that, up to 30 s.
tries=0
until grep -q '^[0-9]' "$work/display" 2>/dev/null; do
    tries=$((tries + 1))
    if [ "$tries" -gt 300 ] || ! kill -0 "$xvfb" 2>/dev/null; then
        echo "Xvfb did not start:" >&2
        cat "$work/xvfb.log" >&2
        exit 1
    fi
    sleep 0.1
done
DISPLAY=":$(head -n 1 "$work/display")"
export DISPLAY
unset WAYLAND_DISPLAY
# A sanitizer build must not fail the run on leaks inside the X and SDL libraries.
export LSAN_OPTIONS="suppressions=$(dirname "$0")/e2e_lsan.supp:print_suppressions=0"
"$2" "$1"
