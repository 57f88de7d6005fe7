#!/bin/sh
# run_under_wm.sh PROGRAM [ARGS...]: runs a window test on a virtual X server (display :91) under
# a small window manager, as an operator's desktop would run the windows. Exits 77 (skipped)
# when the X server or the window manager is not installed; scripts/test.sh installs both.
display=:91
for tool in Xvfb openbox xprop; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIPPED: $tool is not installed (scripts/test.sh installs xvfb, openbox, x11-utils)"
        exit 77
    fi
done
if [ -e /tmp/.X91-lock ]; then
    echo "SKIPPED: display $display is already in use"
    exit 77
fi
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
wm=""
trap 'if [ -n "$wm" ]; then kill "$wm" 2>/dev/null; fi; kill "$xvfb" 2>/dev/null; wait 2>/dev/null' EXIT
tries=0
until DISPLAY=$display xprop -root >/dev/null 2>&1; do
    tries=$((tries + 1))
    if [ "$tries" -gt 100 ]; then echo "the X server did not start"; exit 1; fi
    sleep 0.1
done
DISPLAY=$display openbox --sm-disable >/dev/null 2>&1 &
wm=$!
tries=0
until DISPLAY=$display xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; do
    tries=$((tries + 1))
    if [ "$tries" -gt 100 ]; then echo "the window manager did not start"; exit 1; fi
    sleep 0.1
done
DISPLAY=$display QT_QPA_PLATFORM=xcb "$@"
