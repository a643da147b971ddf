#!/usr/bin/env bash
# Extended key reports in a real terminal: tmux with extended-keys on passes Ctrl+digit and
# Ctrl+Enter only to a program that asks for them. quillbox asks at start-up; after it ends (by
# F10, or killed by SIGTERM) the terminal sends plain keys again.
#
# Environment: QB_BIN_DIR, QB_PLUGIN_DIR. Exits 77 (skipped) without tmux.
set -u

bin="${QB_BIN_DIR:?QB_BIN_DIR is not set}/quillbox"
plugin_src="${QB_PLUGIN_DIR:?QB_PLUGIN_DIR is not set}"
[[ -x "$bin" ]] || { echo "FAILED: $bin is not built"; exit 1; }
name=keys
source "$(dirname "$0")/../tmux_session.sh"
echo "set -s extended-keys on" >>"$work/tmux.conf"

keys() { tmux_ send-keys -t qb "$@"; }
mkdir -p "$work/home" "$work/config" "$work/plugins" "$work/disk"
cp "$plugin_src/Quillbox.so" "$plugin_src"/*.lng "$plugin_src/Comment.qbl" "$work/plugins/"

# After quillbox the pane runs `cat -v`, which shows what the terminal sends.
start_quillbox() {
  tmux_ kill-session -t qb >/dev/null 2>&1
  tmux_ new-session -d -s qb -x 100 -y 30 -c "$work/disk" \
    "env HOME='$work/home' LANG=C.UTF-8 LC_ALL=C.UTF-8 '$bin' --config '$work/config' \
       --plugins '$work/plugins'; echo QB-EXIT=\$?; exec cat -v"
}
quillbox_pid() { pgrep -P "$(tmux_ display -p -t qb '#{pane_pid}')" -x quillbox | head -1; }
# Ctrl+1 and "x" typed into cat: no extended report before the "x" (tmux has no plain form of
# Ctrl+1 and sends nothing for it).
plain_keys_again() {
  keys C-1 x Enter
  sleep 0.3
  screen_has "x" && screen_lacks "[27;5;49~" && screen_lacks "[49;5u"
}

for ending in F10 SIGTERM; do
  start_quillbox
  wait_for "the book opens ($ending run)" screen_has "Quillbox"
  # Ctrl+3 picks the third view mode: the left panel's columns change to name, size, date, time.
  keys C-3
  wait_for "Ctrl+3 arrives: the view mode changes" screen_has "│  Date  │"
  keys C-2
  wait_for "Ctrl+2 arrives: back to name and description" screen_lacks "│  Date  │"
  # Ctrl+Enter in a dialog's multi-line editor accepts it: the record gets its Comment field.
  keys S-F4
  wait_for "Shift+F4 asks for a record name" screen_has "Record name"
  keys -l "Ann"
  keys Enter
  keys Enter
  keys S-F4
  wait_for "Shift+F4 in the record offers the field types" screen_has "Add field"
  keys Enter
  sleep 0.5
  keys -l "hello"
  keys C-Enter
  wait_for "Ctrl+Enter arrives: the field is stored" screen_has "│hello"
  if [[ "$ending" == F10 ]]; then
    keys F10
  else
    kill -TERM "$(quillbox_pid)"
  fi
  wait_for "quillbox ends by $ending" screen_has "QB-EXIT="
  wait_for "after $ending the terminal sends plain keys again" plain_keys_again
  rm -f "$work/plugins/Quillbox.Dat"
done

if ((failures > 0)); then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
