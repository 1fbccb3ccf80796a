#!/bin/sh
# End-to-end run of the game: a private network namespace with loopback only (so a game
# running on this machine, on whatever port, never meets the test), its own Xvfb, then
# the driver that plays its scenario against build/netduel.
# Usage: e2e.sh GAME DRIVER
# NETDUEL_E2E_SCREEN sets the screen (default 1024x768x24), NETDUEL_E2E_DISPLAYS the X
# display numbers to try in turn (default: any free one), NETDUEL_E2E_WM a window
# manager to run on it.
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
xvfb=
wm=
trap 'kill $wm $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT INT TERM

# Xvfb writes its display number once it accepts clients: wait for that, up to 30 s.
# False when it ended first (its display number is taken, say). -noreset: a probe that
# disconnects must not make the server reset while the next client connects.
xvfb_start() {
    Xvfb $1 -displayfd 3 -screen 0 "${NETDUEL_E2E_SCREEN:-1024x768x24}" -nolisten tcp -noreset \
        3>"$work/display" 2>"$work/xvfb.log" &
    xvfb=$!
    tries=0
    until grep -q '^[0-9]' "$work/display" 2>/dev/null; do
        tries=$((tries + 1))
        if ! kill -0 "$xvfb" 2>/dev/null; then return 1; fi
        if [ "$tries" -gt 300 ]; then break; fi
        sleep 0.1
    done
}
started=
for number in ${NETDUEL_E2E_DISPLAYS:-any}; do
    if [ "$number" = any ]; then number=; else number=":$number"; fi
    if xvfb_start "$number"; then started=1; break; fi
done
if [ -z "$started" ] || ! grep -q '^[0-9]' "$work/display"; then
    echo "Xvfb did not start:" >&2
    cat "$work/xvfb.log" >&2
    exit 1
fi
DISPLAY=":$(head -n 1 "$work/display")"
export DISPLAY
unset WAYLAND_DISPLAY
if [ -n "${NETDUEL_E2E_WM:-}" ]; then
    # Once X takes a client, up to 30 s: a window manager started earlier gives up.
    tries=0
    until xdotool getdisplaygeometry >/dev/null 2>&1 || [ "$tries" -gt 300 ]; do
        tries=$((tries + 1))
        sleep 0.1
    done
    $NETDUEL_E2E_WM >"$work/wm.log" 2>&1 &
    wm=$!
fi
# Settings: each game started gets a folder of its own below this one (see
# e2e::settingsPlaceOwn), so that no run plays with another's, nor with the developer's.
export XDG_CONFIG_HOME="$work/config"
# The game plays its sound on SDL's silent dummy device unless a driver asks for another:
# never on a developer's speakers, and the same on a machine with a sound card or none.
export SDL_AUDIODRIVER="${SDL_AUDIODRIVER:-dummy}"
# A sanitizer build must not fail the run on leaks inside the X and SDL libraries.
export LSAN_OPTIONS="suppressions=$(dirname "$0")/e2e_lsan.supp:print_suppressions=0"
status=0
"$2" "$1" || status=$?
if [ "$status" -ne 0 ] && [ -s "$work/wm.log" ]; then
    echo "window manager on $DISPLAY said:" >&2
    cat "$work/wm.log" >&2
fi
exit "$status"
