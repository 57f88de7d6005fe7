#!/usr/bin/env bash
# The packaged Tandrel.exe under Wine as an operator runs it, against the device simulator:
# COM1 is the device, COM2 the label printer, a list of Cyrillic rows from a Cyrillic folder on
# the command line. Three presses of "#" on the device's keypad must work three rows and print
# three labels that equal, byte for byte, those of the Linux program in the same session. Every
# second Wine session prints to the simulator's network printer instead (raw TCP on 127.0.0.1,
# the printer's state asked before each label). One more Wine session prints through Wine's
# spooler to a CUPS queue (a private cupsd) that sends to that network printer. The first Wine
# session also publishes its rows to a mosquitto of the session's own, as the plant feed does,
# through TLS with the session's CA and logged in with the password "Tandrel.exe --feed-password"
# stored: its journal lines (a step's and its label's outcome for each row) must arrive. The third
# Wine session names its ports as "COM3:" and "COM4:". One more starts with no list: its incoming
# folder is on a Wine drive (the office's share), and the list is opened from the "Списки"
# screen. The last one prints to a network printer that never answers: the steps never wait for
# it, and the journal has each label queued, then its outcome. The very last one works by a bar
# plan: tandrel-plan.exe plans a list into two stock lengths and saves the plan where the
# program keeps the list's progress; loaded, the list offers it, Enter takes it, the device's
# "#" cuts the first bar's first piece, "Хлыст с дефектом" sets that bar aside and its other
# pieces are planned again, and "#" works every other piece in the plan's order, a label each,
# each bar's remnant stored with its label.
#
#   tests/program/wine_session.sh BUILD RUNS
#
# BUILD is the windows build folder after scripts/package_windows.sh; the Linux program and
# the simulator come from build/default (built here when missing). Called by
# scripts/test_windows.sh, which has the Wine prefix and its server running.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
build=$(realpath "$1")
runs=${2:-20}
. scripts/wine_env.sh
[ -n "${WINEPREFIX:-}" ] || wine_env "$build/wineprefix"

linux=$root/build/default
if [ ! -x "$linux/tools/tandrel-sim" ] || [ ! -x "$linux/src/program/Tandrel" ]; then
    [ -f "$linux/CMakeCache.txt" ] || cmake --preset default -DTANDREL_WITH_QT=ON >/dev/null
    cmake --build "$linux" --target Tandrel tandrel-sim -j2
fi
sim=$linux/tools/tandrel-sim
package=$(find "$build/package" -mindepth 1 -maxdepth 1 -type d -name 'Tandrel-*-win64' | head -1)
[ -n "$package" ] || { echo "no package folder in $build/package" >&2; exit 1; }

work=$build/session
rm -rf "$work"
lists="$work/Списки заказов"
mkdir -p "$lists"
# The same three rows as a text list, as a CSV that Excel saves (the last two as one row of
# quantity 2) and as a workbook: the Wine sessions take them in turn.
list="$lists/Заказ 15.txt"
printf '%s\r\n' '1000 Дверь левая <E1Дверь левая><E2Заказ 15>' \
    '1500,5 Полка <E1Полка><E2ясень>' '1500,5 Полка <E1Полка><E2ясень>' |
    iconv -f UTF-8 -t CP1251 >"$list"
printf '%s\r\n' 'Размер;Кол-во;Наименование;E1;E2' '1000;1;Дверь левая;Дверь левая;Заказ 15' \
    '1500,5;2;Полка;Полка;ясень' | iconv -f UTF-8 -t CP1251 >"$lists/Заказ 15.csv"
cp tests/fixtures/program/session.xlsx "$lists/Заказ 15.xlsx"
kinds=(txt csv xlsx)
# The office's share as drive L:, its incoming folder holding, newest first, "Заказ 16.txt",
# "Заказ 15.csv", "Заказ 14.xlsx", "1502.txt" and "ZAK-1502.txt" (job sheets' barcodes).
share=$work/share
incoming_dir="$share/Входящие"
mkdir -p "$incoming_dir"
printf '%s\r\n' '700 Крышка' | iconv -f UTF-8 -t CP1251 >"$incoming_dir/Заказ 16.txt"
cp "$lists/Заказ 15.csv" "$incoming_dir/Заказ 15.csv"
cp "$lists/Заказ 15.xlsx" "$incoming_dir/Заказ 14.xlsx"
printf '%s\r\n' '1200 Полка' | iconv -f UTF-8 -t CP1251 >"$incoming_dir/1502.txt"
printf '%s\r\n' '1300 Стойка' '1400 Ригель' | iconv -f UTF-8 -t CP1251 >"$incoming_dir/ZAK-1502.txt"
touch -d '2026-03-02 07:00' "$incoming_dir/ZAK-1502.txt"
touch -d '2026-03-02 08:00' "$incoming_dir/1502.txt"
touch -d '2026-03-02 09:00' "$incoming_dir/Заказ 14.xlsx"
touch -d '2026-03-02 10:00' "$incoming_dir/Заказ 15.csv"
touch -d '2026-03-02 11:00' "$incoming_dir/Заказ 16.txt"
device=$work/device printer=$work/printer

pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT
if [ -z "${TANDREL_SESSION_DISPLAY:-}" ]; then
    xvfb_start
    pids+=("$XVFB_PID")
    export TANDREL_SESSION_DISPLAY=$XVFB_DISPLAY
fi
# Every Wine program of the session on that server: the first one starts Wine's desktop, which
# would have no screen at all when started without one.
export DISPLAY=$TANDREL_SESSION_DISPLAY
wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$device" /f >/dev/null 2>&1
wine reg add 'HKLM\Software\Wine\Ports' /v COM2 /t REG_SZ /d "$printer" /f >/dev/null 2>&1
wine reg add 'HKLM\Software\Wine\Ports' /v COM3 /t REG_SZ /d "$device" /f >/dev/null 2>&1
wine reg add 'HKLM\Software\Wine\Ports' /v COM4 /t REG_SZ /d "$printer" /f >/dev/null 2>&1
# A Wine desktop of the operator's screen: without a window manager on the X server, Wine
# leaves a window's maximising to nobody, while its own desktop maximises as Windows does.
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Default /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ /d 1280x800 /f >/dev/null 2>&1
# Font smoothing as a Windows desktop has it by default (Wine's prefix has it off, and small
# text drawn without it loses the thinnest strokes).
wine reg add 'HKCU\Control Panel\Desktop' /v FontSmoothing /t REG_SZ /d 2 /f >/dev/null 2>&1
wine reg add 'HKCU\Control Panel\Desktop' /v FontSmoothingType /t REG_DWORD /d 2 /f >/dev/null 2>&1
wineserver -k 2>/dev/null || true
sleep 0.5
wineserver -f -p </dev/null >/dev/null 2>&1 &
pids+=($!)
sleep 0.2
wine cmd /c exit >/dev/null 2>&1 </dev/null
# The share as drive L:, once the prefix has its drives.
ln -sfn "$share" "$WINEPREFIX/dosdevices/l:"

fail() {
    echo "  session $run ($kind): $*"
    return 1
}

# The plant's broker on 127.0.0.1 as a plant's IT sets it up: TLS with a CA of the session's own
# (openssl), no anonymous access, a user per station; and a subscriber that writes "topic
# payload" lines.
mqtt=$work/broker
mkdir -p "$mqtt"
(
    cd "$mqtt"
    ec="-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
    openssl req -x509 $ec -keyout ca.key -out ca.pem -days 2 -subj /CN=PlantCA
    openssl req $ec -keyout broker.key -out broker.csr -subj /CN=broker
    echo 'subjectAltName=IP:127.0.0.1' >ip.ext
    openssl x509 -req -in broker.csr -CA ca.pem -CAkey ca.key -days 2 -out broker.pem -extfile ip.ext
    mosquitto_passwd -b -c passwd wine-1 wine-pw
    mosquitto_passwd -b passwd board board-pw
    printf 'user wine-1\ntopic write tandrel/wine-1/#\nuser board\ntopic read tandrel/#\n' >acl
) >"$mqtt/setup.log" 2>&1
for _ in 1 2 3 4 5; do
    mqtt_port=$((20000 + RANDOM % 20000))
    printf 'listener %s 127.0.0.1\ncafile %s\ncertfile %s\nkeyfile %s\nallow_anonymous false\npassword_file %s\nacl_file %s\nuser %s\n' \
        "$mqtt_port" "$mqtt/ca.pem" "$mqtt/broker.pem" "$mqtt/broker.key" "$mqtt/passwd" "$mqtt/acl" \
        "$(id -un)" >"$mqtt/mosquitto.conf"
    mosquitto -c "$mqtt/mosquitto.conf" >"$mqtt/mosquitto.log" 2>&1 &
    mqtt_pid=$!
    sleep 0.3
    kill -0 "$mqtt_pid" 2>/dev/null && break
done
pids+=("$mqtt_pid")
mosquitto_sub -h 127.0.0.1 -p "$mqtt_port" --cafile "$mqtt/ca.pem" -u board -P board-pw -q 1 -v \
    -t 'tandrel/#' >"$mqtt/received.txt" 2>&1 &
pids+=($!)
# published STATION N: the broker has passed on N pieces of the station and its last status.
published() {
    [ "$(grep -c "^tandrel/$1/piece " "$mqtt/received.txt")" -ge "$2" ] &&
        [ "$(grep "^tandrel/$1/status " "$mqtt/received.txt" | tail -1)" = "tandrel/$1/status offline" ]
}

# sim_command LINE: the simulator's answer to one control line.
sim_command() {
    echo "$1" >&"${SIM[1]}"
    local answer=""
    read -r -t 5 answer <&"${SIM[0]}" || true
    echo "$answer"
}

# wait_for SECONDS COMMAND...: polls until the command succeeds.
wait_for() {
    local end=$((SECONDS + $1))
    shift
    until "$@"; do
        [ $SECONDS -lt $end ] || return 1
        sleep 0.05
    done
}
# png_size FILE: WIDTHxHEIGHT from the PNG header.
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{print $3*256+$4 "x" $7*256+$8}'; }
label_count() { find "$labels" -name '*.zpl' | wc -l; }
has_labels() { [ "$(label_count)" -ge "$1" ]; }
link_up() { [[ "$(sim_command state)" =~ \ T=([0-9]+) ]] && [ "${BASH_REMATCH[1]}" -ge 2 ]; }
window_shown() {
    local tree
    tree=$(LC_ALL=C.UTF-8 DISPLAY=$TANDREL_SESSION_DISPLAY xwininfo -root -tree 2>/dev/null) || return 1
    [[ $tree == *'"Автоматический ввод размеров на рольганг серии ВЕЛТА"'* ]]
}
window_names() {
    LC_ALL=C.UTF-8 DISPLAY=$TANDREL_SESSION_DISPLAY xwininfo -root -tree 2>/dev/null |
        grep -o '"[^"]*"' | sort -u | tr '\n' ' '
}
program_gone() { ! kill -0 "$program" 2>/dev/null; }
# keys KEY...: typed on the session's X server at an operator's pace (no scan burst).
keys() { DISPLAY=$TANDREL_SESSION_DISPLAY xdotool key --delay 250 "$@"; }
# journal_labels PROGRAM: the label field of each journal line beside the program, UTF-8.
journal_labels() {
    cat "$1"/journal-*.csv 2>/dev/null | iconv -f CP1251 -t UTF-8 | tail -n +2 | tr -d '\r' |
        awk -F';' '{print $NF}'
}
# outcomes_journalled PROGRAM N: N steps journalled with their label queued, each followed later
# by its outcome: the printer did not answer.
outcomes_journalled() {
    journal_labels "$1" | awk -v n="$2" '
        $0 == "в очереди" { queued++ }
        $0 == "итог: принтер не отвечает" { if (++said > queued) early = 1 }
        END { exit !(queued == n && said == n && !early) }'
}
# rows_done N: the progress file in the working folder holds N rows (it exists once the list
# is loaded). An operator presses the next key after seeing the row done; so does the test.
rows_done() { [ -f "$crc" ] && [ "$(tail -n +2 "$crc" | grep -c .)" -eq "$1" ]; }

# session KIND RUN: one session of the Linux program (kind linux) or Tandrel.exe (kind wine);
# even Wine runs print over the network.
# cups_start DIR PORT: a private cupsd in DIR whose raw queue Label sends to 127.0.0.1:PORT;
# exports CUPS_SERVER, which Wine's spooler follows.
cups_start() {
    local dir=$1 port
    mkdir -p "$dir"/etc/ppd "$dir"/spool "$dir"/cache "$dir"/state "$dir"/tmp "$dir"/log
    port=$((20000 + RANDOM % 30000))
    while (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; do port=$((port + 1)); done
    printf '%s\n' "ServerRoot $dir/etc" "RequestRoot $dir/spool" "CacheDir $dir/cache" \
        "StateDir $dir/state" "TempDir $dir/tmp" "AccessLog $dir/log/access_log" \
        "ErrorLog $dir/log/error_log" "PageLog $dir/log/page_log" >"$dir/etc/cups-files.conf"
    [ "$(id -u)" -ne 0 ] || echo "SystemGroup root" >>"$dir/etc/cups-files.conf"
    printf '%s\n' "Listen 127.0.0.1:$port" "Browsing Off" "WebInterface No" "DefaultAuthType None" \
        "<Location />" "Order allow,deny" "Allow all" "</Location>" "<Policy default>" \
        "<Limit All>" "Order deny,allow" "Allow all" "</Limit>" "</Policy>" >"$dir/etc/cupsd.conf"
    /usr/sbin/cupsd -f -c "$dir/etc/cupsd.conf" -s "$dir/etc/cups-files.conf" </dev/null >/dev/null 2>&1 &
    pids+=($!)
    export CUPS_SERVER=127.0.0.1:$port
    wait_for 10 lpstat -h "$CUPS_SERVER" -r >/dev/null 2>&1 &&
        /usr/sbin/lpadmin -h "$CUPS_SERVER" -p Label -v "socket://127.0.0.1:$2" -E 2>/dev/null
}

# open_from_lists_screen: opens "Списки" from the menu (Alt, Right and Enter, as on Windows),
# waits for the screen's picture, and opens its second row, "Заказ 15.csv", with Ctrl+Home, Down
# and Enter: a wrong order or a missing list opens another one, or none.
open_from_lists_screen() {
    local screen=${shot%.png}-ListsScreen.png size
    keys alt Right Return
    wait_for 10 test -s "$screen" || { fail "no \"Списки\" screen after Alt, Right, Enter"; return 1; }
    size=$(png_size "$screen")
    [ "${size%x*}" -eq 1280 ] || { fail "the \"Списки\" screen is $size, not the window's width"; return 1; }
    # The folder's first look has long been shown by then.
    sleep 1
    keys ctrl+Home Down Return
}

# scan_opens_list: a barcode scanner types "1502" and Enter, a few milliseconds a key: the list
# 1502.txt of the incoming folder opens, and the stop does not move.
scan_opens_list() {
    local before after
    [[ $(sim_command state) =~ moves=([0-9]+) ]] || { fail "no state from the simulator"; return 1; }
    before=${BASH_REMATCH[1]}
    DISPLAY=$TANDREL_SESSION_DISPLAY xdotool key --delay 5 1 5 0 2 Return
    wait_for 10 test -f "$cwd/1502.crc" ||
        { fail "the scan of 1502 opened no list; windows shown: $(window_names)"; return 1; }
    sleep 0.5
    [[ $(sim_command state) =~ moves=([0-9]+) ]] || { fail "no state from the simulator"; return 1; }
    after=${BASH_REMATCH[1]}
    [ "$after" = "$before" ] || { fail "the scan moved the stop: $before moves, then $after"; return 1; }
}

# scan_under_russian_layout: the keyboard switched to Russian, a scanner's keys for "ZAK-1502"
# type "ЯФЛ-1502": the list ZAK-1502.txt opens all the same.
scan_under_russian_layout() {
    local opened=0
    DISPLAY=$TANDREL_SESSION_DISPLAY setxkbmap ru || { fail "no Russian layout"; return 1; }
    sleep 1  # Wine reads the new keyboard map
    DISPLAY=$TANDREL_SESSION_DISPLAY xdotool key --delay 5 \
        Cyrillic_YA Cyrillic_EF Cyrillic_EL minus 1 5 0 2 Return
    wait_for 10 test -f "$cwd/ZAK-1502.crc" && opened=1
    DISPLAY=$TANDREL_SESSION_DISPLAY setxkbmap us
    [ $opened -eq 1 ] ||
        { fail "the scan of ЯФЛ-1502 opened no list; windows shown: $(window_names)"; return 1; }
}

session() {
    kind=$1 run=$2
    local net=""
    [ "$kind" = wine ] && { [ $((run % 2)) -eq 0 ] || [ -n "${queue:-}${hung:-}" ]; } &&
        net="--printer-tcp 0"
    local dir=$work/$kind-$run
    labels=$dir/labels
    local prog="$dir/Программа" cwd="$dir/Рабочая папка"
    mkdir -p "$labels" "$cwd"
    rm -f "$device" "$printer"
    coproc SIM { exec "$sim" --device-link "$device" --printer-link "$printer" --labels-dir "$labels" \
        --min 200 --max 3050 --precision 1 --ping-ms 100 --log "$dir/line.log" $net 2>"$dir/sim.log"; }
    local sim_pid=$SIM_PID ready="" label_printer=COM2 device_port=COM1
    # "COM3:" as DOS wrote it, for both ports.
    [ "$kind" = wine ] && [ "$run" -eq 3 ] && label_printer=COM4: device_port=COM3:
    read -r -t 10 ready <&"${SIM[0]}" || true
    [[ $ready == ready* ]] || { fail "the simulator did not start"; return 1; }
    if [ -n "$net" ]; then
        [[ $ready =~ printer-tcp=([0-9.:]+) ]] || { fail "no network printer: $ready"; return 1; }
        label_printer=${BASH_REMATCH[1]}
        if [ -n "${queue:-}" ]; then
            cups_start "$dir/cups" "${label_printer##*:}" || { fail "no CUPS queue"; return 1; }
            label_printer=printer:Label
        fi
    fi
    local start=$SECONDS started
    if [ "$kind" = wine ]; then
        cp -r "$package" "$prog"
        printf 'p=%s\r\ng=%s\r\nj=-1\r\n' "$device_port" "$label_printer" >"$prog/nastr.dat"
        if [ "$run" -eq 1 ]; then
            # The station as IT sets it up: the broker, its user and the CA, the password through
            # the program itself.
            printf 'o=127.0.0.1:%s\r\nq=wine-1\r\ns=wine-1\r\nt=%s\r\n' "$mqtt_port" \
                "$(wine_path "$mqtt/ca.pem")" >>"$prog/nastr.dat"
            local code=0
            (cd "$cwd" && echo wine-pw | wine "$prog/Tandrel.exe" --feed-password \
                >"$dir/feed-password.log" 2>&1) || code=$?
            [ "$code" -eq 0 ] && [ -s "$prog/mqtt.key" ] ||
                { fail "Tandrel.exe --feed-password: exit $code, $(cat "$dir/feed-password.log")"; return 1; }
            ! grep -q wine-pw "$prog/mqtt.key" || { fail "mqtt.key holds the password as it is"; return 1; }
        fi
        local args=("$(wine_path "${list%.txt}.${kinds[(run - 1) % 3]}")")
        if [ -n "${incoming:-}" ]; then
            printf 'r=L:\\Входящие\r\n' | iconv -f UTF-8 -t CP1251 >>"$prog/nastr.dat"
            args=()
        fi
        started=$(date +%s%N)
        # The main window every second: the last one tells what a failed session showed.
        shot=$dir/main_window.png
        [ "$run" -eq 1 ] && shot=$build/screens/wine_main_window.png
        [ -z "${incoming:-}" ] || shot=$build/screens/wine_incoming.png
        rm -f "$shot" "${shot%.png}"-*.png
        (cd "$cwd" && TANDREL_SCREENSHOT=$(wine_path "$shot") TANDREL_SCREENSHOT_SECONDS=1 \
            DISPLAY=$TANDREL_SESSION_DISPLAY LD_PRELOAD=$build/modem_preload.so \
            exec wine "$prog/Tandrel.exe" "${args[@]}" </dev/null >"$dir/program.log" 2>&1) &
        program=$!
        if wait_for 60 window_shown; then
            echo "  session $run: window shown after $((($(date +%s%N) - started) / 1000000)) ms"
        else
            fail "no window shown" || true
            DISPLAY=$TANDREL_SESSION_DISPLAY xwininfo -root -tree >"$dir/windows.txt" 2>&1 || true
        fi
    else
        mkdir -p "$prog"
        cp "$linux/src/program/Tandrel" "$prog/"
        printf 'p=%s\r\ng=%s\r\nj=-1\r\n' "$device" "$printer" >"$prog/nastr.dat"
        (cd "$cwd" && QT_QPA_PLATFORM=offscreen exec "$prog/Tandrel" "$list" </dev/null >"$dir/program.log" 2>&1) &
        program=$!
    fi
    local status=0
    crc="$cwd/Заказ 15.crc"
    wait_for 30 link_up || fail "no handshake: $(sim_command state)" || status=1
    [ -z "${incoming:-}" ] || [ $status -ne 0 ] || open_from_lists_screen || status=1
    wait_for 30 rows_done 0 || fail "the list was not loaded; windows shown: $(window_names)" || status=1
    [ -z "${hung:-}" ] || sim_command "printer silent" >/dev/null
    for n in 1 2 3; do
        [ $status -eq 0 ] || break
        sim_command "keys #" >/dev/null
        [ -n "${hung:-}" ] || wait_for 15 has_labels "$n" || fail "label $n did not arrive" || status=1
        wait_for 15 rows_done "$n" || fail "row $n was not recorded" || status=1
    done
    # Each step handed its label over without waiting; each outcome came after it.
    [ -z "${hung:-}" ] || [ $status -ne 0 ] || wait_for 20 outcomes_journalled "$prog" 3 ||
        fail "journal: $(journal_labels "$prog" | tr '\n' '|')" || status=1
    [ -z "${incoming:-}" ] || [ $status -ne 0 ] || scan_opens_list || status=1
    [ -z "${incoming:-}" ] || [ $status -ne 0 ] || scan_under_russian_layout || status=1
    # The first session keeps its window until its picture with the rows done is saved: it shows
    # the maximised window to whoever reads the run.
    if [ "$kind" = wine ] && [ "$run" -eq 1 ] && [ $status -eq 0 ]; then
        sleep 1.2
        wait_for 10 test -s "$shot" || fail "no picture of the window" || status=1
        # Maximised, the window takes the screen's width and all its height but the title bar.
        local size
        size=$(png_size "$shot")
        [ "${size%x*}" -eq 1280 ] && [ "${size#*x}" -ge 760 ] ||
            fail "the window is not maximised on the 1280x800 screen: $size" || status=1
    fi
    # The window closed the normal way: WM_CLOSE under Wine, the session's end signal on Linux.
    if [ "$kind" = wine ]; then
        DISPLAY=$TANDREL_SESSION_DISPLAY wine taskkill /im Tandrel.exe >/dev/null 2>&1 </dev/null || true
    else
        kill -TERM "$program"
    fi
    if ! wait_for 20 program_gone; then
        fail "the program did not end" || status=1
        if [ "$kind" = wine ]; then
            echo "  the stacks of its threads (addresses in Tandrel.exe: nm -C on it):"
            wine_backtrace Tandrel.exe | head -80 | sed 's/^/    /'
        fi
        kill -9 "$program" 2>/dev/null || true
    fi
    local code=0
    wait "$program" || code=$?
    [ $code -eq 0 ] || fail "exit code $code" || status=1
    # Only this run's programs: other runs on the machine have their own.
    if [ "$kind" = wine ] && pgrep -f "$work/.*Tandrel\.exe" >/dev/null; then
        fail "a Tandrel.exe process is left" || status=1
    fi
    echo quit >&"${SIM[1]}" || true
    wait "$sim_pid" 2>/dev/null || true
    local expected=3
    [ -z "${hung:-}" ] || expected=0
    [ "$(label_count)" -eq $expected ] || fail "$(label_count) labels instead of $expected" || status=1
    [ -f "$crc" ] && [ "$(tail -n +2 "$crc" | tr -d '\r' | tr '\n' ' ')" = "1 2 3 " ] ||
        fail "no progress file with rows 1 2 3 in the working folder" || status=1
    for f in nastr.dat etik.eti; do
        [ -s "$prog/$f" ] || fail "no $f beside the program" || status=1
    done
    [ -z "${hung:-}" ] || [ $status -ne 0 ] ||
        echo "  session $run: 3 steps, each label \"в очереди\" and then \"итог: принтер не отвечает\" in the journal"
    if [ "$kind" = wine ] && [ -z "${hung:-}" ]; then
        for f in "$work/linux-0/labels"/*.zpl; do
            cmp -s "$f" "$labels/$(basename "$f")" ||
                fail "$(basename "$f") differs from the Linux program's" || status=1
        done
        local way=${net:+ over the network}
        [ -z "${queue:-}" ] || way=" through Wine's spooler and CUPS"
        [ "$run" -ne 3 ] || way=" on COM4: (the device on COM3:)"
        local what=${kinds[(run - 1) % 3]}
        [ -z "${incoming:-}" ] || what="csv from the \"Списки\" screen, then scans of 1502 and, in the Russian layout, ЯФЛ-1502"
        echo "  session $run ($what): $(label_count) labels$way, $((SECONDS - start)) s"
        if [ "$run" -eq 1 ]; then
            local feed_start=$SECONDS
            if wait_for 20 published wine-1 6; then
                echo "  session 1: 6 journal lines and \"offline\" through TLS on the broker ($((SECONDS - feed_start)) s after the end)"
                grep -q '^tandrel/wine-1/piece {"id":"wine-1/journal-.*"row":3,' "$mqtt/received.txt" ||
                    fail "the third piece is not row 3: $(grep piece "$mqtt/received.txt" | tail -1)" || status=1
            else
                fail "the broker did not pass on the session's lines: $(cat "$mqtt/received.txt")" || status=1
            fi
        fi
    fi
    return $status
}

# all_planned PLAN_FILE: no piece of the plan is without a bar.
all_planned() { ! tr -d '\r' <"$1" | grep -q '^unplaced='; }

# plan_session RUN: the bar plan's session (see the top).
plan_session() {
    kind=wine run=$1
    local dir=$work/plan-$run
    labels=$dir/labels
    local prog="$dir/Программа" cwd="$dir/Рабочая папка" plist="$lists/Заказ 17.txt"
    mkdir -p "$labels" "$cwd"
    rm -f "$device" "$printer"
    coproc SIM { exec "$sim" --device-link "$device" --printer-link "$printer" --labels-dir "$labels" \
        --min 200 --max 6000 --precision 1 --ping-ms 100 --log "$dir/line.log" 2>"$dir/sim.log"; }
    local sim_pid=$SIM_PID ready="" status=0
    read -r -t 10 ready <&"${SIM[0]}" || true
    [[ $ready == ready* ]] || { fail "the simulator did not start"; return 1; }
    cp -r "$package" "$prog"
    printf 'p=COM1\r\ng=COM2\r\nj=-1\r\n' >"$prog/nastr.dat"
    printf 'stock=6000,2500x2\r\nkerf=4\r\nhead=10\r\nremnant=500\r\npieces=0\r\n' >"$prog/raskroy.dat"
    printf '%s\r\n' '2400 Стойка' '1800 Ригель' '2000 Полка' '1500 Полка' '900 Планка' \
        '2450 Стойка' '1150 Ригель' | iconv -f UTF-8 -t CP1251 >"$plist"
    local plan="$cwd/Заказ 17.plan"
    (cd "$cwd" && wine "$prog/tandrel-plan.exe" --stock 6000,2500x2 --kerf 4 --head 10 \
        --min-remnant 500 --save "$(wine_path "$plan")" "$(wine_path "$plist")" \
        </dev/null >"$dir/plan.log" 2>&1) || { fail "tandrel-plan.exe: $(cat "$dir/plan.log")"; return 1; }
    # The first bar's first piece; the bar is then found flawed.
    local first
    first=$(tr -d '\r' <"$plan" | grep -m1 '^bar=' | cut -d';' -f3 | cut -d, -f1)
    (cd "$cwd" && TANDREL_SCREENSHOT=$(wine_path "$build/screens/wine_plan.png") \
        TANDREL_SCREENSHOT_SECONDS=1 DISPLAY=$TANDREL_SESSION_DISPLAY \
        LD_PRELOAD=$build/modem_preload.so \
        exec wine "$prog/Tandrel.exe" "$(wine_path "$plist")" </dev/null >"$dir/program.log" 2>&1) &
    program=$!
    crc="$cwd/Заказ 17.crc"
    wait_for 60 window_shown || fail "no window shown" || status=1
    wait_for 30 link_up || fail "no handshake: $(sim_command state)" || status=1
    wait_for 30 rows_done 0 || fail "the list was not loaded" || status=1
    # The question to go on with the plan: Yes is its default button.
    sleep 2
    keys Return
    local n=1 order="" pieces=0
    sim_command "keys #" >/dev/null
    wait_for 15 has_labels 1 || fail "label 1 did not arrive" || status=1
    wait_for 15 rows_done 1 || fail "piece 1 was not recorded" || status=1
    # "Хлыст с дефектом" (right of "Назад"), then Yes: the box's default is No.
    if [ $status -eq 0 ]; then
        DISPLAY=$TANDREL_SESSION_DISPLAY xdotool mousemove 1195 190 click 1
        sleep 1.5
        keys shift+Tab Return
        wait_for 15 grep -q '^flawed=1' "$plan" || fail "no flawed bar in the plan" || status=1
        wait_for 15 all_planned "$plan" ||
            fail "the flawed bar's pieces were not planned again" || status=1
        order=$(tr -d '\r' <"$plan" | grep '^bar=' | tail -n +2 | cut -d';' -f3 | tr ',\n' '  ')
    fi
    for _ in $order; do
        [ $status -eq 0 ] || break
        n=$((n + 1))
        sim_command "keys #" >/dev/null
        wait_for 15 has_labels "$n" || fail "label $n did not arrive" || status=1
        wait_for 15 rows_done "$n" || fail "piece $n was not recorded" || status=1
    done
    order="$first $order"
    pieces=$(wc -w <<<"$order")
    local worked
    worked=$(tail -n +2 "$crc" | tr -d '\r' | tr '\n' ' ')
    [ "$worked" = "$order" ] || fail "pieces worked: $worked; the plan's: $order" || status=1
    # The flawed bar is journalled with the length it had left uncut.
    local flawed
    flawed=$(tr -d '\r' <"$plan" | grep -m1 '^bar=' | cut -d';' -f2)
    iconv -f CP1251 -t UTF-8 "$prog"/journal-*.csv 2>/dev/null |
        grep -q ";;$flawed;;$flawed;да;нет;хлыст с дефектом" ||
        fail "no journal line of the flawed bar's $flawed" || status=1
    # A bar's leftover of at least the minimum remnant: stored in ostatki.dat, its label after
    # the bar's last piece's, ids counting from R000001 in the order the bars were cut.
    local kept id=0 len
    kept=$(tr -d '\r' <"$plan" | grep '^bar=' | tail -n +2 | cut -d';' -f2 | awk '$1 >= 500')
    [ -n "$kept" ] || fail "no bar leaves a remnant" || status=1
    wait_for 15 has_labels $((pieces + $(wc -w <<<"$kept"))) || fail "no remnant label" || status=1
    for len in $kept; do
        [ $status -eq 0 ] || break
        id=$((id + 1))
        local rid
        rid=$(printf 'R%06d' "$id")
        grep -q "^$rid;$len;;" "$prog/ostatki.dat" 2>/dev/null ||
            fail "ostatki.dat lacks $rid of $len: $(cat "$prog/ostatki.dat" 2>&1)" || status=1
        local f found=""
        for f in "$labels"/*.zpl; do
            grep -q -F "^BCN,70,Y,N,N^FD$rid^FS" "$f" && grep -q -F "^FD$len^FS" "$f" && found=1
        done
        [ -n "$found" ] || fail "no label of remnant $rid, $len" || status=1
    done
    DISPLAY=$TANDREL_SESSION_DISPLAY wine taskkill /im Tandrel.exe >/dev/null 2>&1 </dev/null || true
    wait_for 20 program_gone || { fail "the program did not end" || status=1; kill -9 "$program" 2>/dev/null || true; }
    wait "$program" 2>/dev/null || true
    echo quit >&"${SIM[1]}" || true
    wait "$sim_pid" 2>/dev/null || true
    [ $status -ne 0 ] || echo "  session $run (bar plan): the first bar flawed after piece $first, its other pieces planned again; $pieces pieces in the plan's order: $order, $(label_count) labels, remnants kept: $(tr -d '\r' <"$prog/ostatki.dat" | tr '\n' ' ')"
    return $status
}

session linux 0 || { echo "the Linux session failed" >&2; exit 1; }
failed=0
for run in $(seq "$runs"); do
    session wine "$run" || failed=$((failed + 1))
done
echo "Tandrel.exe under Wine: $((runs - failed)) of $runs sessions passed"
queue_start=$SECONDS
queue=1
session wine $((runs + 1)) || failed=$((failed + 1))
echo "The session through a print queue: $((SECONDS - queue_start)) s"
queue=""
incoming_start=$SECONDS
incoming=1
session wine $((runs + 2)) || failed=$((failed + 1))
echo "The session with the incoming folder on drive L: $((SECONDS - incoming_start)) s"
incoming=""
hung_start=$SECONDS
hung=1
session wine $((runs + 3)) || failed=$((failed + 1))
echo "The session with a network printer that never answers: $((SECONDS - hung_start)) s"
hung=""
plan_start=$SECONDS
plan_session $((runs + 4)) || failed=$((failed + 1))
echo "The session working by a bar plan: $((SECONDS - plan_start)) s"
[ $failed -eq 0 ]
