#!/usr/bin/env bash
# Takes the Windows screenshots: the main window, the pages and the dialogs
# of the Linux set (docs/screenshots/*.png, the same names), drawn by the
# program's own Win32 windows under Wine on a virtual display, into
# docs/screenshots/windows/.  terminatool-screenshots.exe of the Windows
# build names each picture and the register it needs (--list); for each
# picture a fresh termina-sim of that register runs over TCP, the
# program's INI file names it, and the program makes the picture.
#
#   tools/screenshots/windows.sh [PROGRAM_FOLDER [OUTPUT_FOLDER [FILE...]]]
#
# PROGRAM_FOLDER holds terminatool-screenshots.exe with TERMINA-1.dll and the
# runtime (default build/windows64/driver, which `cmake --build --preset
# windows64 --target terminatool-screenshots` or `tools/windows --test`
# fills); OUTPUT_FOLDER defaults to docs/screenshots/windows; FILEs name the
# pictures to take (default all).  Needs wine64
# with Wine's own fonts (fonts-wine: the dialogs' metrics), xvfb and
# ImageMagick.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
dir=$(cd "${1:-build/windows64/driver}" && pwd)
out=${2:-docs/screenshots/windows}
shift $(($# > 2 ? 2 : $#))
case $out in /*) ;; *) out=$root/$out ;; esac
[ -f "$dir/terminatool-screenshots.exe" ] || {
  echo "no terminatool-screenshots.exe in $dir (cmake --build --preset windows64 --target terminatool-screenshots)" >&2
  exit 1
}
[ -f /usr/share/wine/fonts/tahoma.ttf ] || { echo "Wine's fonts are missing (apt-get install fonts-wine)" >&2; exit 1; }
for tool in xvfb-run convert identify; do
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
cleanup() {
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

shots=$work/shots
mkdir -p "$shots" "$out"
export sim dir shots wine wanted="$*"
export ini="$WINEPREFIX/drive_c/Program Files/Orvelsoft/TERMINA.INI"
# On the virtual display, one picture after the other: the simulator its
# register needs (none for a dialog without one) and the INI file naming
# it, then the program; the simulator goes once the picture is made.
cat >"$work/shoot.sh" <<'EOF'
set -euo pipefail
cd "$dir"
mkdir -p "$(dirname "$ini")"
status=0
list=$("$wine" ./terminatool-screenshots.exe --list | tr -d '\r')
[ -n "$list" ] || { echo "the program lists no pictures" >&2; exit 1; }
while IFS=$'\t' read -r name args; do
  [ -z "$wanted" ] || [[ " $wanted " == *" $name "* ]] || continue
  sim_pid=""
  if [ -n "$args" ]; then
    # The arguments are words without spaces.
    # shellcheck disable=SC2086
    "$sim" --tcp 0 $args >"$shots/sim.out" 2>&1 &
    sim_pid=$!
    address=""
    for _ in $(seq 100); do
      address=$(sed -n 's/^tcp //p' "$shots/sim.out")
      [ -n "$address" ] && break
      sleep 0.1
    done
    [ -n "$address" ] || { echo "the simulator did not start for $name" >&2; cat "$shots/sim.out" >&2; exit 1; }
    printf '[General]\r\nPort=1\r\nSpeed=19200\r\n[TCP]\r\nMode=1\r\nHostName=%s\r\nHostPort=%s\r\n' \
      "${address%:*}" "${address##*:}" >"$ini"
  fi
  timeout 120 "$wine" ./terminatool-screenshots.exe "Z:${shots//\//\\}" "$name" </dev/null | tr -d '\r' || status=1
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
done <<<"$list"
exit $status
EOF
status=0
timeout 900 xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/shoot.sh" || status=1
# Metadata that changes with every run would make every run a change.
for f in "$shots"/*.png; do
  [ -f "$f" ] || continue
  convert "$f" -strip "$out/${f##*/}"
  echo "wrote $out/${f##*/} ($(identify -format '%wx%h' "$out/${f##*/}"))"
done
exit $status
