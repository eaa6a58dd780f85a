#!/bin/bash
# Runs a program on a private Xvfb display and exits with its status:
#
#     run_under_xvfb.sh PROGRAM [ARGUMENT...]
#
# The X server picks a free display number itself (-displayfd), so runs never
# share a display and need no lock. It runs with -noreset: otherwise it would
# reset, keyboard layout included, each time its last client disconnects,
# which a program that opens and closes its display per test does often.
#
# The program sees DISPLAY, the x11 video driver and the dummy audio driver.
# It is killed with SIGKILL after 120 s (SDL turns SIGTERM into a quit event
# that a hung test would never read). The server is stopped at exit.

set -u

workdir=$(mktemp -d "${TMPDIR:-/tmp}/plumo-xvfb.XXXXXX") || exit 1
xvfb_pid=""

cleanup() {
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
    fi
    rm -rf "$workdir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ $# -lt 1 ]; then
    echo "usage: run_under_xvfb.sh PROGRAM [ARGUMENT...]" >&2
    exit 2
fi

Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp -noreset 5>"$workdir/display" 2>"$workdir/xvfb.log" &
xvfb_pid=$!
# The number is written once the server accepts clients.
for _ in $(seq 200); do
    [ -s "$workdir/display" ] && break
    if ! kill -0 "$xvfb_pid" 2>/dev/null; then
        echo "Xvfb ended at start:" >&2
        cat "$workdir/xvfb.log" >&2
        exit 1
    fi
    sleep 0.05
done
if [ ! -s "$workdir/display" ]; then
    echo "Xvfb did not report a display within 10 s" >&2
    exit 1
fi

export DISPLAY=":$(tr -dc '0-9' <"$workdir/display")"
unset WAYLAND_DISPLAY XAUTHORITY
export SDL_VIDEODRIVER=x11
export SDL_AUDIODRIVER=dummy

status=0
timeout -s KILL 120 "$@" || status=$?
if [ "$status" -eq 137 ]; then
    echo "$1 was killed (SIGKILL), most likely still running after 120 s" >&2
fi
exit "$status"
