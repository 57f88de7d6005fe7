# Helpers for the scripts that run Windows programs under Wine (sourced, not run).

# wine_env PREFIX: a private Wine prefix, quiet, without the Mono and Gecko prompts.
wine_env() {
    export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    unset DISPLAY
    mkdir -p "$WINEPREFIX"
}

# wine_path UNIX_PATH: the same file seen from Windows (drive Z: is the Unix root).
wine_path() {
    local path
    path=$(realpath -m "$1")
    echo "Z:${path//\//\\}"
}

# mingw_runtime_dir DLL: the folder of the MinGW runtime DLL that our programs link.
mingw_runtime_dir() {
    dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name="$1")"
}

# wine_start_server PIDS_ARRAY [COMn UNIX_DEVICE]...: starts the wineserver in the foreground
# of a background job (so that it takes no pseudo-terminal as its controlling terminal) and
# maps the COM ports before anything can open them (a fresh prefix maps COM1 to the machine's
# real /dev/ttyS0); the server restarts to take the mapping.
wine_start_server() {
    local -n started=$1
    shift
    wineserver -f -p </dev/null >/dev/null 2>&1 &
    started+=($!)
    sleep 0.2
    while [ $# -ge 2 ]; do
        wine reg add 'HKLM\Software\Wine\Ports' /v "$1" /t REG_SZ /d "$2" /f >/dev/null 2>&1
        shift 2
    done
    wineserver -k || true
    wait "${started[-1]}" 2>/dev/null || true
    wineserver -f -p </dev/null >/dev/null 2>&1 &
    started+=($!)
    sleep 0.2
    # One program run before anything timed: Wine's background processes start with it.
    wine cmd /c exit >/dev/null 2>&1 </dev/null
}

# xvfb_start (scripts/xvfb.sh): an X server for Wine's windows, on a display of its own choice.
. "$(dirname "${BASH_SOURCE[0]}")/xvfb.sh"

# wine_backtrace EXE_NAME: the stack of each thread of the running Windows program of that name
# (as winedbg sees it), for a program that hangs.
wine_backtrace() {
    local pid tids commands
    commands=$(mktemp)
    pid=$(winedbg --command "info process" 2>/dev/null | tr -d '\r' |
        awk -v name="'$1'" '$NF == name { sub(/^=/, "", $1); print $1; exit }')
    [ -n "$pid" ] || { echo "no $1 running"; rm -f "$commands"; return 0; }
    tids=$(winedbg --command "info thread" 2>/dev/null | tr -d '\r' |
        awk -v pid="$pid" '/^[0-9a-f]+ / { current = $1 } /^\t/ && current == pid { print $1 }')
    {
        echo "attach 0x$pid"
        for tid in $tids; do echo "bt 0x$tid"; done
        printf 'detach\nquit\n'
    } >"$commands"
    winedbg --file "$commands" 2>&1 | tr -d '\r' | grep -E '^(Backtrace|=>| +[0-9]+ )' |
        sed -E 's/\(([a-z_]+=[^)]*)\)//; s/ \[[A-Z]:[^]]*\]//'
    rm -f "$commands"
}
