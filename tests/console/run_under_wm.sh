#!/bin/sh
# run_under_wm.sh PROGRAM [ARGS...]: runs a window test on a virtual X server under a small
# window manager, as an operator's desktop would run the windows. Exits 77 (skipped) when the X
# server, the window manager or a tool the test names in TANDREL_X_TOOLS is missing;
# scripts/test.sh installs them all.
for tool in Xvfb openbox xprop ${TANDREL_X_TOOLS:-}; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIPPED: $tool is not installed (scripts/test.sh installs xvfb, openbox, x11-utils, xdotool, x11-xkb-utils)"
        exit 77
    fi
done
. "$(dirname "$0")/../../scripts/xvfb.sh"
wm=""
log=$(mktemp "${TMPDIR:-/tmp}/tandrel-openbox.XXXXXX")
trap 'if [ -n "$wm" ]; then kill "$wm" 2>/dev/null; fi; if [ -n "${XVFB_PID:-}" ]; then kill "$XVFB_PID" 2>/dev/null; fi; wait 2>/dev/null; rm -f "$log"' EXIT
xvfb_start || exit 1
display=$XVFB_DISPLAY
DISPLAY=$display openbox --sm-disable </dev/null >"$log" 2>&1 &
wm=$!
# A first start on a fresh machine may build the font cache before the manager takes the screen.
tries=0
until DISPLAY=$display xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; do
    tries=$((tries + 1))
    if [ "$tries" -gt 600 ] || ! kill -0 "$wm" 2>/dev/null; then
        echo "the window manager did not start on $display:"
        cat "$log"
        exit 1
    fi
    sleep 0.1
done
DISPLAY=$display QT_QPA_PLATFORM=xcb "$@"
