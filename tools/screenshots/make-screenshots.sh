#!/usr/bin/env bash
# Renders TerminaTool's main window, pages and dialogs against the simulated
# register (offscreen) into docs/screenshots/.
#   tools/screenshots/make-screenshots.sh [BUILD_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
build=${1:-$src/build/dev}
cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build" --target terminatool-screenshots
QT_QPA_PLATFORM=offscreen "$build/tools/screenshots/terminatool-screenshots" "$src/docs/screenshots"
