#!/usr/bin/env bash
# How long a bracketed paste takes to arrive whole in a text box under tmux, against the time tmux
# takes to deliver the same bytes to a plain reader (`cat > /dev/null` as a shell runs it: the
# terminal in its ordinary line mode, echo on), in the same run; and, for a floor, to a reader of
# a raw terminal.
# Usage: bench/tmux_paste.sh <build-dir-with-vennic_paste_app> [bytes]   (default 2 MiB)
set -euo pipefail
app=$(cd "${1:?build dir}" && pwd)/bench/vennic_paste_app
bytes=${2:-2097152}
work=$(mktemp -d)
socket="$work/tmux.sock"
trap 'tmux -S "$socket" kill-server 2>/dev/null || true; rm -rf "$work"' EXIT

# Whole lines of printable text, about $bytes long: a reader in line mode gets every line.
line='the quick brown fox jumps over the lazy dog 0123456789'
bytes=$((bytes / (${#line} + 1) * (${#line} + 1)))
{ yes "$line" || true; } | head -c "$bytes" >"$work/paste.txt"
tmux -S "$socket" -f /dev/null new-session -d -x 120 -y 40 -s bench

now_ms() { date +%s%3N; }

# Waits (at most 120 s) for a file to appear; prints the milliseconds since $1.
wait_for_file() {
  local start=$1 file=$2
  for _ in $(seq 1 12000); do
    [[ -e $file ]] && { echo $(($(now_ms) - start)); return; }
    sleep 0.01
  done
  echo "timeout"
}

tmux -S "$socket" load-buffer -b data "$work/paste.txt"
# A plain reader (the shell's line mode), then a raw one; each reads exactly $bytes and marks the
# end.
tmux -S "$socket" send-keys -t bench "head -c $bytes >/dev/null; touch $work/cat.done" Enter
sleep 0.5
start=$(now_ms)
tmux -S "$socket" paste-buffer -p -b data -t bench
cat_ms=$(wait_for_file "$start" "$work/cat.done")
tmux -S "$socket" send-keys -t bench C-u "clear" Enter
sleep 0.5
tmux -S "$socket" send-keys -t bench \
  "stty raw -echo; head -c $bytes >/dev/null; stty sane; touch $work/raw.done" Enter
sleep 0.5
start=$(now_ms)
tmux -S "$socket" paste-buffer -p -b data -t bench
raw_ms=$(wait_for_file "$start" "$work/raw.done")

# The text box: the application writes its done-file once the box holds every byte.
tmux -S "$socket" send-keys -t bench "$app $bytes $work/app.done" Enter
sleep 1
start=$(now_ms)
tmux -S "$socket" paste-buffer -p -b data -t bench
app_ms=$(wait_for_file "$start" "$work/app.done")

echo "tmux paste of $bytes bytes: plain reader (line mode) ${cat_ms} ms, raw reader ${raw_ms} ms," \
  "text box ${app_ms} ms ($(cat "$work/app.done" 2>/dev/null))"
if [[ $cat_ms != timeout && $app_ms != timeout ]]; then
  awk -v a="$app_ms" -v c="$cat_ms" -v r="$raw_ms" 'BEGIN {
    printf "ratio text box / plain reader: %.2f; text box / raw reader: %.2f\n", a / (c > 0 ? c : 1), a / (r > 0 ? r : 1) }'
fi
