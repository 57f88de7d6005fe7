#!/usr/bin/env bash
# Installs what is missing, builds, starts the device simulator (a positioning device with
# minimum 200, maximum 3050, precision 1, and a label printer) and the program connected to
# both. Arguments go to the program (the first one names a cut list to open). The simulator's
# commands are typed here (keys 1500#, state, drop 2000, quit; tandrel-sim --help).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
. scripts/packages.sh
install_packages "${program_libraries[@]}" cmake ninja-build g++ libgtest-dev libbenchmark-dev qt6-base-dev fonts-dejavu-core fonts-wine qt6-translations-l10n
cmake --preset default -DTANDREL_WITH_QT=ON >/dev/null
cmake --build --preset default -j2 --target Tandrel tandrel-sim
mkdir -p "$root/run"

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    export QT_QPA_PLATFORM=offscreen
    export TANDREL_SCREENSHOT=$root/run/screen.png
    echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set): running offscreen."
    echo "The main window is saved every 5 seconds to $TANDREL_SCREENSHOT"
    echo "Stop with Ctrl+C."
fi
if [[ -t 0 ]]; then
    exec tools/sim/demo.sh "$@"
fi
# Without a terminal the simulator's control channel stays open until the run is stopped.
tail -f /dev/null | tools/sim/demo.sh "$@"
