#!/usr/bin/env bash
# Takes a screenshot of the gallery as a person sees it: the program runs in xterm on a virtual X
# display (Xvfb), a few keys and clicks are sent to it, and the window is saved as a PNG.
# Usage: scripts/screenshot.sh [output.png]   (default: docs/gallery.png)
# Installs xterm, Xvfb, ImageMagick, xdotool and the DejaVu fonts first when run as root.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-"$root/build"}
out=${1:-"$root/docs/gallery.png"}
columns=100
rows=32

source "$root/scripts/lib/packages.sh"
ensure_packages xterm xvfb x11-utils imagemagick fonts-dejavu-core xdotool

if [[ ! -x "$build/examples/gallery" ]]; then
  "$root/scripts/setup.sh" "$build"
fi

# A display number nobody uses.
number=90
while [[ -e /tmp/.X11-unix/X$number || -e /tmp/.X$number-lock ]]; do
  number=$((number + 1))
done
export DISPLAY=:$number

pids=()
cleanup() {
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
}
trap cleanup EXIT

Xvfb "$DISPLAY" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do
  xdpyinfo >/dev/null 2>&1 && break
  sleep 0.1
done
xdpyinfo >/dev/null 2>&1 || { echo "Xvfb did not start" >&2; exit 1; }

# Dark background, DejaVu Sans Mono, 24-bit colours shown as they are.
xterm -name vennic-gallery -geometry "${columns}x${rows}+0+0" -fa 'DejaVu Sans Mono' -fs 12 \
  -bg '#16181d' -fg '#d8dae0' -bd '#16181d' -b 8 +sb -xrm 'XTerm*directColor: true' \
  -e env TERM=xterm-256color COLORTERM=truecolor "$build/examples/gallery" &
pids+=($!)

window=""
for _ in $(seq 100); do
  window=$(xdotool search --classname vennic-gallery 2>/dev/null | head -1) && [[ -n $window ]] && break
  sleep 0.1
done
[[ -n $window ]] || { echo "the xterm window did not appear" >&2; exit 1; }
sleep 1.5

# Cell geometry, for clicks: the window's size over the terminal's.
eval "$(xdotool getwindowgeometry --shell "$window")"
cell_w=$((WIDTH / columns))
cell_h=$((HEIGHT / rows))
click() { # column row (0-based cells)
  xdotool mousemove --window "$window" $(($1 * cell_w + cell_w / 2 + 8)) $(($2 * cell_h + cell_h / 2 + 8))
  xdotool click 1
  sleep 0.2
}

xdotool windowfocus --sync "$window" 2>/dev/null || true
# Press Count twice, type a name into the line edit and submit it, untick and tick "Wrap words"
# by clicks, scroll the table with the wheel, click Count once more and leave the pointer over
# Reset, so that its fade shows beside the focused Count.
xdotool key --window "$window" Return Return
xdotool key --window "$window" Tab Tab Tab Tab Tab Tab
xdotool type --window "$window" --delay 40 "Ada Lovelace"
xdotool key --window "$window" Return
sleep 0.3
click 3 16
click 3 16
for _ in 1 2 3 4 5; do
  xdotool mousemove --window "$window" $((70 * cell_w)) $((16 * cell_h)) click 5
  sleep 0.05
done
click 8 11
xdotool mousemove --window "$window" $((22 * cell_w)) $((11 * cell_h + 8))
sleep 0.8

mkdir -p "$(dirname "$out")"
import -window "$window" "png:$out.tmp"
# Fewer colours keep the file small; the picture has few of them anyway.
/usr/bin/convert "png:$out.tmp" -colors 128 -strip "png8:$out"
rm -f "$out.tmp"
echo "wrote $out ($(stat -c %s "$out") bytes)"
