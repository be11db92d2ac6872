#!/usr/bin/env bash
# Asks real terminals what they answer and records the raw bytes: xterm and kitty on a virtual X
# display (Xvfb), and tmux 3.3a (a detached session with no outer terminal, and attached in an
# xterm). For kitty it also records what Tab, Return and BackSpace send under the kitty keyboard
# flags 1+2+4, 1+4 and 1+2+4+8 (xterm for comparison), and for xterm and kitty it reads the
# window title before, while and after a session set it. docs/terminal.md holds the results.
# Not part of CI. Needs xterm, kitty, tmux, Xvfb, xdotool and x11-utils (Debian packages); kitty
# runs with software OpenGL (LIBGL_ALWAYS_SOFTWARE=1).
# Usage: scripts/emulator_check.sh [output-folder]   (default: build/emulator-check; about 45 s)
#        PROBE=/path/to/terminal_probe overrides the probe program (default: build/examples/).
# Every wait is bounded; everything it starts is ended when it exits.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-"$root/build"}
out=${1:-"$build/emulator-check"}
probe=${PROBE:-"$build/examples/terminal_probe"}
mkdir -p "$out"
rm -f "$out"/*

[[ -x $probe ]] || (cd "$build" && make terminal_probe >/dev/null) || {
  echo "no probe at $probe" >&2
  exit 1
}

number=90
while [[ -e /tmp/.X11-unix/X$number || -e /tmp/.X$number-lock ]]; do
  number=$((number + 1))
done
export DISPLAY=:$number
tmux_socket="emulator-check-$$"

pids=()
cleanup() {
  tmux -L "$tmux_socket" kill-server 2>/dev/null || true
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
}
trap cleanup EXIT

# Waits up to $1 tenths of a second for the command after it to succeed.
wait_for() {
  local tenths=$1
  shift
  for _ in $(seq "$tenths"); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

# Waits up to $2 tenths of a second for process $1 to end, then ends it.
finish() {
  wait_for "$2" bash -c "! kill -0 $1 2>/dev/null" || kill "$1" 2>/dev/null
  wait "$1" 2>/dev/null
}

Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
wait_for 50 xdpyinfo >/dev/null 2>&1 || {
  echo "Xvfb did not start" >&2
  exit 1
}

# Starts the probe with the given arguments in terminal $1 ("xterm", "xterm-tcap": xterm with
# termcap queries allowed, "kitty", or "tmux-in-xterm": tmux attached in an xterm); sets $pid.
start_in() {
  local terminal=$1
  shift
  if [[ $terminal == xterm ]]; then
    xterm -name probe-xterm -T probe-before -geometry 80x24+0+0 -e "$probe" "$@" &
  elif [[ $terminal == xterm-tcap ]]; then
    # Debian's xterm leaves termcap queries (XTGETTCAP) off.
    xterm -name probe-xterm -xrm 'XTerm*allowTcapOps: true' -geometry 80x24+0+0 \
      -e "$probe" "$@" &
  elif [[ $terminal == tmux-in-xterm ]]; then
    xterm -name probe-tmux -geometry 80x24+0+0 -e tmux -L "$tmux_socket" -f /dev/null \
      new-session "$probe $*" &
  else
    LIBGL_ALWAYS_SOFTWARE=1 kitty --class probe-kitty --config NONE -o remember_window_size=no \
      -o initial_window_width=80c -o initial_window_height=24c "$probe" "$@" 2>/dev/null &
  fi
  pid=$!
  pids+=("$pid")
}

window_of() { xdotool search --classname "probe-$1" 2>/dev/null | head -1; }

# (a) What each terminal answers.
for terminal in xterm xterm-tcap kitty tmux-in-xterm; do
  start_in "$terminal" answers "$out/answers-$terminal.txt"
  finish "$pid" 300
done
tmux -L "$tmux_socket" kill-server 2>/dev/null
tmux -L "$tmux_socket" -f /dev/null new-session -d -x 80 -y 24 \
  "$probe answers $out/answers-tmux.txt; sleep 1"
wait_for 300 bash -c "! tmux -L $tmux_socket has-session 2>/dev/null"
tmux -L "$tmux_socket" kill-server 2>/dev/null

# (b) kitty's key reports under three sets of flags; xterm, which has no such protocol, for
# comparison.
for run in kitty:7 kitty:5 kitty:15 xterm:7; do
  terminal=${run%:*}
  flags=${run#*:}
  log="$out/keys-$terminal-$flags.txt"
  start_in "$terminal" keys "$flags" "$log" 4
  if wait_for 150 test -e "$log.ready"; then
    window=$(window_of "$terminal")
    xdotool windowfocus --sync "$window" 2>/dev/null
    sleep 0.3
    for key in Tab Return BackSpace; do
      echo "key $key" >>"$log.sent"
      xdotool key --window "$window" "$key"
      sleep 0.4
    done
  fi
  finish "$pid" 100
done

# (b2) The library's own session with the recommended extensions: its answers, the kitty flags
# in force (kitty: pushed, 1+4 for this version; xterm: none) and the keys it reads, each once.
for terminal in kitty xterm; do
  log="$out/library-$terminal.txt"
  start_in "$terminal" library "$log" 4
  if wait_for 150 test -e "$log.ready"; then
    window=$(window_of "$terminal")
    xdotool windowfocus --sync "$window" 2>/dev/null
    sleep 0.3
    for key in Tab Return BackSpace; do
      xdotool key --window "$window" "$key"
      sleep 0.4
    done
  fi
  finish "$pid" 100
done

# (c) The title during and after: before, while set, after the restore.
for terminal in xterm kitty; do
  log="$out/title-$terminal.txt"
  start_in "$terminal" title "probe title ✓" "$log" 2
  wait_for 150 bash -c "[[ -n \$(xdotool search --classname probe-$terminal 2>/dev/null) ]]"
  # The probe sets the title two seconds after it starts.
  sleep 1
  window=$(window_of "$terminal")
  {
    echo "before: $(xdotool getwindowname "$window" 2>&1)"
    wait_for 100 test -e "$log.set" && sleep 0.5
    echo "while set: $(xdotool getwindowname "$window" 2>&1)"
    wait_for 100 test -e "$log.restored" && sleep 0.5
    echo "after restore: $(xdotool getwindowname "$window" 2>&1)"
  } >"$out/title-$terminal.names"
  finish "$pid" 100
done

for file in "$out"/*.txt "$out"/*.names; do
  echo "== $(basename "$file")"
  cat "$file"
done
