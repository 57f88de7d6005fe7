# A virtual X server of the operator's screen size (sourced by sh and bash scripts, not run).
#
# xvfb_start: starts Xvfb on a display that Xvfb picks itself (-displayfd), so that two runs on
# one machine, or a server left over from an earlier run, never meet on a fixed number; a
# display number in use by another network namespace's server is skipped the same way. Sets
# XVFB_DISPLAY (":N") and XVFB_PID; returns 1, with the server's own words, when it did not start.
xvfb_start() {
    xvfb_dir=$(mktemp -d "${TMPDIR:-/tmp}/tandrel-xvfb.XXXXXX")
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$xvfb_dir/display" </dev/null \
        >"$xvfb_dir/log" 2>&1 &
    XVFB_PID=$!
    xvfb_tries=0
    # Xvfb writes the number once it accepts connections.
    until [ -n "$(cat "$xvfb_dir/display" 2>/dev/null)" ]; do
        xvfb_tries=$((xvfb_tries + 1))
        if [ "$xvfb_tries" -gt 200 ] || ! kill -0 "$XVFB_PID" 2>/dev/null; then
            echo "the X server did not start:" >&2
            cat "$xvfb_dir/log" >&2
            rm -rf "$xvfb_dir"
            return 1
        fi
        sleep 0.05
    done
    XVFB_DISPLAY=:$(cat "$xvfb_dir/display")
    rm -rf "$xvfb_dir"
    return 0
}
