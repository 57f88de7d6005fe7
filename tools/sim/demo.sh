#!/usr/bin/env bash
# Starts a simulated device (minimum 200, maximum 3050, precision 1) and a label printer on
# pseudo-terminals under run/, points the program's settings file (nastr.dat beside the program)
# at them with label printing on, and starts the program. The simulator stays in front: type its
# commands (keys 1500#, key *, state, drop 2000, quit; see tandrel-sim --help). quit ends the
# simulator alone: the program runs on without its device, and Enter starts the simulator again.
# Closing the program, or Ctrl+C, ends both. Arguments go to the program (the first names a cut
# list).
# Labels land in run/labels, every byte on the line in run/line.log.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
sim=${TANDREL_SIM:-$root/build/default/tools/tandrel-sim}
program=${TANDREL_PROGRAM:-$root/build/default/src/program/Tandrel}
run=${TANDREL_RUN_DIR:-$root/run}
device=$run/device
printer=$run/printer
settings=$(dirname "$program")/nastr.dat

[[ -x $sim ]] || { echo "no simulator at $sim: build with cmake --build --preset default" >&2; exit 1; }
mkdir -p "$run/labels"

# The settings file is Windows-1251 with CR LF; only the port lines and the print switch change.
comment() { printf ' %s\r\n' "$(printf '%s' "$1" | iconv -f UTF-8 -t CP1251)"; }
if [[ ! -f $settings ]]; then
    {
        comment "ширина первого столбца"; printf 'a=207\r\n'
        comment "ширина второго столбца"; printf 'b=367\r\n'
        comment "порт"; printf 'p=%s\r\n' "$device"
        comment "каталог по умолчанию для данных"; printf 'd=%s\r\n' "$(dirname "$program")"
        comment "Размер шрифта информации"; printf 'c=40\r\n'
        comment "Размер шришта текущего положения"; printf 'f=40\r\n'
        comment "Размер шрифта списка размеров"; printf 'e=8\r\n'
        comment "Порт принтера этикеток"; printf 'g=%s\r\n' "$printer"
        comment "Показывать клавиатуру?"; printf 'h=-1\r\n'
        comment "Показывать коррекцию"; printf 'i=0\r\n'
        comment "Печатать этикетки"; printf 'j=-1\r\n'
        comment "Только новые размеры"; printf 'k=0\r\n'
        comment "Отправлять размеры на упор"; printf 'l=0\r\n'
        comment "Вести журнал"; printf 'm=-1\r\n'
    } >"$settings.new"
else
    LC_ALL=C awk -v dev="$device" -v prn="$printer" '
        /^p/ { printf "p=%s\r\n", dev; next }
        /^g/ { printf "g=%s\r\n", prn; g = 1; next }
        /^j/ { printf "j=-1\r\n"; next }
        { print }
        END { if (!g) printf "g=%s\r\n", prn }' "$settings" >"$settings.new"
fi
mv "$settings.new" "$settings"

sim_pid= program_pid=
stop() {
    [[ -n $program_pid ]] && kill "$program_pid" 2>/dev/null || true
    [[ -n $sim_pid ]] && kill "$sim_pid" 2>/dev/null || true
    rm -f "$run/sim.pid"
    wait 2>/dev/null || true
}
trap stop EXIT

start_sim() {
    "$sim" --device-link "$device" --printer-link "$printer" --labels-dir "$run/labels" \
        --serial 100001 --min 200 --max 3050 --precision 1 --firmware 3 --start 3050 \
        --log "$run/line.log" <&0 &
    sim_pid=$!
    echo "$sim_pid" >"$run/sim.pid"
    until [[ -L $device && -L $printer ]]; do
        kill -0 "$sim_pid" 2>/dev/null || return 1
        sleep 0.05
    done
}
program_running() {
    [[ -n $program_pid ]] && kill -0 "$program_pid" 2>/dev/null
}

start_sim || exit 1
if [[ -x $program ]]; then
    "$program" "$@" &
    program_pid=$!
else
    echo "no program at $program yet: the simulator runs alone" >&2
fi
# The simulator may end on its own (quit, or kill $(cat run/sim.pid)) while the program runs on
# and loses its device; Enter starts it again and the program finds it. Closing the program, or
# Ctrl+D here while the simulator is away, ends both.
while true; do
    wait -n "$sim_pid" ${program_pid:+"$program_pid"} 2>/dev/null || true
    if [[ -n $program_pid ]] && ! program_running; then break; fi
    kill -0 "$sim_pid" 2>/dev/null && continue
    sim_pid=
    rm -f "$run/sim.pid"
    echo "tandrel-sim ended; the program runs on without its device." \
        "Enter starts the simulator again, Ctrl+D ends both." >&2
    while true; do
        if read -r -t 1 _; then
            start_sim || exit 1
            echo "tandrel-sim started again." >&2
            break
        elif (($? <= 128)); then
            exit 0  # end of input
        fi
        if [[ -n $program_pid ]] && ! program_running; then exit 0; fi
    done
done
