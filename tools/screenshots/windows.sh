#!/usr/bin/env bash
# Takes the README's Windows screenshot: TerminaTool.exe of the Windows
# build under Wine on a virtual display, started against the simulator over
# TCP, its main window cut out of the screen once it has settled.
#
#   tools/screenshots/windows.sh [PROGRAM_FOLDER [OUTPUT.png]]
#
# PROGRAM_FOLDER holds TerminaTool.exe with TERMINA-1.dll and the runtime
# (default build/windows64/driver, which `tools/windows --test` builds and
# wine64 runs); OUTPUT defaults to docs/screenshots/windows/main-window.png.
# Needs wine64 with Wine's own fonts (fonts-wine: the dialogs' metrics),
# xvfb, ImageMagick and xdotool.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
dir=$(cd "${1:-build/windows64/driver}" && pwd)
out=${2:-docs/screenshots/windows/main-window.png}
case $out in /*) ;; *) out=$root/$out ;; esac
[ -f "$dir/TerminaTool.exe" ] || { echo "no TerminaTool.exe in $dir (run tools/windows --test)" >&2; exit 1; }
[ -f /usr/share/wine/fonts/tahoma.ttf ] || { echo "Wine's fonts are missing (apt-get install fonts-wine)" >&2; exit 1; }
for tool in xvfb-run import xdotool; do
  command -v "$tool" >/dev/null || { echo "$tool is missing" >&2; exit 1; }
done
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64

sim=""
for s in build/ci/sim/termina-sim build/dev/sim/termina-sim build/release/sim/termina-sim build/windows-sim/sim/termina-sim; do
  [ -x "$s" ] && { sim=$root/$s; break; }
done
[ -n "$sim" ] || { echo "no termina-sim built (tools/windows --test builds one)" >&2; exit 1; }

work=$(mktemp -d)
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  "$wineserver" -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
timeout 300 "$wine" wineboot -i >/dev/null 2>&1
# No window manager on the virtual display: Wine draws the caption and
# the frame itself.
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
# Wine's own fonts (Tahoma for the dialogs, Marlett for the caption's
# buttons), where every Windows program finds its fonts.
cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
"$wineserver" -w

"$sim" --tcp 0 --display --state "$work/register.state" >"$work/sim.out" 2>&1 &
sim_pid=$!
address=""
for _ in $(seq 100); do
  address=$(sed -n 's/^tcp //p' "$work/sim.out")
  [ -n "$address" ] && break
  sleep 0.1
done
[ -n "$address" ] || { echo "the simulator did not start" >&2; cat "$work/sim.out" >&2; exit 1; }
ini="$WINEPREFIX/drive_c/Program Files/Orvelsoft/TERMINA.INI"
mkdir -p "$(dirname "$ini")"
printf '[General]\r\nPort=1\r\nSpeed=19200\r\n[TCP]\r\nMode=1\r\nHostName=%s\r\nHostPort=%s\r\n' \
  "${address%:*}" "${address##*:}" >"$ini"

# On the virtual display: start the program, wait for its main window,
# then for the register to have answered: the status bar and the left of
# the window (the header, the tree, the port and speed) look the same for a
# second (the page's clock ticks on), and cut the window out of the screen.
cat >"$work/shoot.sh" <<'EOF'
set -euo pipefail
cd "$1"
"$2" ./TerminaTool.exe &
id=$(timeout 60 xdotool search --sync --onlyvisible --name 'Программа управления ФР' | head -1)
eval "$(xdotool getwindowgeometry --shell "$id")"
still() {
  import -window root -crop "${WIDTH}x24+${X}+$((Y + HEIGHT - 24))" +repage rgb:- | md5sum
  import -window root -crop "$((WIDTH / 3))x${HEIGHT}+${X}+${Y}" +repage rgb:- | md5sum
}
last="" same=0
for _ in $(seq 300); do
  sum=$(still)
  if [ "$sum" = "$last" ]; then same=$((same + 1)); else same=0; last=$sum; fi
  [ $same -ge 10 ] && break
  sleep 0.1
done
[ $same -ge 10 ] || { echo "the window did not settle" >&2; exit 1; }
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$3"
EOF
mkdir -p "$(dirname "$out")"
timeout 180 xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/shoot.sh" "$dir" "$wine" "$work/shot.png"
# Metadata that changes with every run would make every run a change.
convert "$work/shot.png" -strip "$out"
echo "wrote $out ($(identify -format '%wx%h' "$out"))"
