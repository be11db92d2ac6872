#!/usr/bin/env bash
# How long a bracketed paste takes to arrive whole in a text box under tmux, against the time tmux
# takes to deliver the same bytes to `cat > /dev/null` in a raw pane, in the same run.
# Usage: bench/tmux_paste.sh <build-dir-with-vennic_paste_app> [bytes]   (default 2 MiB)
set -euo pipefail
app=$(cd "${1:?build dir}" && pwd)/bench/vennic_paste_app
bytes=${2:-2097152}
work=$(mktemp -d)
socket="$work/tmux.sock"
trap 'tmux -S "$socket" kill-server 2>/dev/null || true; rm -rf "$work"' EXIT

# Lines of printable text, exactly $bytes long.
{ yes 'the quick brown fox jumps over the lazy dog 0123456789' || true; } | head -c "$bytes" >"$work/paste.txt"
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

# cat: the pane in raw mode reads exactly $bytes, then marks the end.
tmux -S "$socket" send-keys -t bench \
  "stty raw -echo; head -c $bytes >/dev/null; stty sane; touch $work/cat.done" Enter
sleep 0.5
tmux -S "$socket" load-buffer -b data "$work/paste.txt"
start=$(now_ms)
tmux -S "$socket" paste-buffer -p -b data -t bench
cat_ms=$(wait_for_file "$start" "$work/cat.done")

# The text box: the application writes its done-file once the box holds every byte.
tmux -S "$socket" send-keys -t bench "$app $bytes $work/app.done" Enter
sleep 1
start=$(now_ms)
tmux -S "$socket" paste-buffer -p -b data -t bench
app_ms=$(wait_for_file "$start" "$work/app.done")

echo "tmux paste of $bytes bytes: cat > /dev/null ${cat_ms} ms, text box ${app_ms} ms ($(cat "$work/app.done" 2>/dev/null))"
if [[ $cat_ms != timeout && $app_ms != timeout ]]; then
  awk -v a="$app_ms" -v c="$cat_ms" 'BEGIN { printf "ratio text box / cat: %.2f\n", a / (c > 0 ? c : 1) }'
fi
