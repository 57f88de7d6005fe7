#!/usr/bin/env bash
# Installs what is missing, builds and starts the program. Arguments go to the program (the
# first one names a cut list to open).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
. scripts/packages.sh
install_packages cmake ninja-build g++ libgtest-dev libbenchmark-dev qt6-base-dev fonts-dejavu-core fonts-wine
cmake --preset default -DTANDREL_WITH_QT=ON >/dev/null
cmake --build --preset default -j2 --target Tandrel
program=$root/build/default/src/program/Tandrel
mkdir -p "$root/run"

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    export QT_QPA_PLATFORM=offscreen
    export TANDREL_SCREENSHOT=$root/run/screen.png
    echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set): running offscreen."
    echo "The main window is saved every 5 seconds to $TANDREL_SCREENSHOT"
    echo "Stop with Ctrl+C."
fi
exec "$program" "$@"
