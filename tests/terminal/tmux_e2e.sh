#!/usr/bin/env bash
# End to end in a real terminal: starts quillbox inside a detached tmux session of a fixed size,
# types with `tmux send-keys` and reads the screen with `tmux capture-pane`.
#
# Environment: QB_BIN_DIR (where quillbox is), QB_PLUGIN_DIR (the plug-in directory; the book's
# steps run when Quillbox.so is there). Exits 77 (skipped) when tmux is missing; a missing quillbox
# is a failure (the build makes it before the tests).
set -u

bin="${QB_BIN_DIR:?QB_BIN_DIR is not set}/quillbox"
plugin_src="${QB_PLUGIN_DIR:-}"
if [[ ! -x "$bin" ]]; then
  echo "FAILED: $bin is not built"
  exit 1
fi
name=term
source "$(dirname "$0")/../tmux_session.sh"

last_line() { screen_text | sed -n "$(tmux_ display -p -t qb '#{pane_height}')p"; }
keybar_has() { last_line | grep -qF -- "$1"; }
keybar_lacks() { ! last_line | grep -qF -- "$1"; }
keys() { tmux_ send-keys -t qb "$@"; }

# A private world: home, settings, a disk folder to walk through, a copy of the plug-in directory
# (so the book the test changes is its own).
mkdir -p "$work/home" "$work/xdg" "$work/config" "$work/disk/Alpha/Inner" "$work/disk/Beta" \
  "$work/plugins"
echo "hello" >"$work/disk/readme.txt"
have_book=0
if [[ -n "$plugin_src" && -f "$plugin_src/Quillbox.so" ]]; then
  cp -R "$plugin_src/." "$work/plugins/"
  have_book=1
fi

# start_quillbox PLUGIN_DIR WIDTH HEIGHT: a fresh session "qb" running quillbox; when quillbox ends
# the pane prints its exit status and the terminal modes, then QB-END, and stays.
start_quillbox() {
  tmux_ kill-session -t qb >/dev/null 2>&1
  tmux_ new-session -d -s qb -x "$2" -y "$3" -c "$work/disk" \
    "env HOME='$work/home' XDG_CONFIG_HOME='$work/xdg' LANG=C.UTF-8 LC_ALL=C.UTF-8 PAGER=less \
       '$bin' --config '$work/config' --plugins '$1'; \
     echo QB-EXIT=\$?; stty -a; echo QB-END; exec sleep 600"
}
quillbox_pid() { pgrep -P "$(tmux_ display -p -t qb '#{pane_pid}')" | head -1; }

# The dialog is gone and TEXT is on the screen (the dialog showed it while it was typed).
dialog_closed_listing() { screen_lacks "{ OK }" && screen_has "$1"; }
pane_size_is() { [[ "$(tmux_ display -p -t qb '#{pane_width}x#{pane_height}')" == "$1" ]]; }
# The first line is the panels' top frame, ending in the right panel's corner at the last column.
top_frame_spans() {
  local line
  line=$(screen_text | head -1)
  [[ "$line" == *"╗" ]] && ((${#line} == $1))
}
# After quillbox: no frame left on the screen, and the terminal back in its cooked modes. Waits
# for the modes to be printed (QB-EXIT shows before them).
terminal_is_clean() {
  wait_for "the terminal modes are printed" screen_has "QB-END" || return 1
  local text
  text=$(screen_text)
  [[ "$text" != *"║"* && "$text" != *"╔"* ]] || return 1
  grep -Eq '(^| )icanon( |$)' <<<"$text" && grep -Eq '(^| )echo( |$)' <<<"$text"
}

export LC_ALL=C.UTF-8  # ${#line} counts characters

# ---- File panels (no plug-in) ------------------------------------------------------------------
mkdir -p "$work/no-plugins"
start_quillbox "$work/no-plugins" 100 30
wait_for "the key bar shows the plain labels" keybar_has "Quit"
wait_for "the panels have double frames" screen_has "╔"
wait_for "the disk panel lists Alpha and readme.txt" screen_has "readme.txt"
top_frame_spans 100 || fail "the frame spans the 100 columns"

# Entering and leaving a disk folder: ".." is first, then the folders.
keys Home Down Enter
wait_for "Enter enters the folder Alpha" screen_has "Inner"
keys C-PageUp
wait_for "Ctrl+PgUp goes back up" screen_lacks "Inner"
wait_for "the folder list is back" screen_has "Beta"

# A dialog typed into and accepted: F7 makes a folder.
keys F7
wait_for "F7 opens the folder dialog" screen_has "Make folder"
keys -l "Gamma"
wait_for "the dialog shows what is typed" screen_has "Gamma"
keys Enter
wait_for "the dialog closes" screen_lacks "Make folder"
wait_for "the new folder is listed" screen_has "Gamma"
[[ -d "$work/disk/Gamma" ]] || fail "the folder Gamma exists on disk"

# The Alt and Shift layers of the key bar.
keys M-F12
wait_for "Alt+F12 shows the Alt key bar" keybar_has "Left"
keys Escape
wait_for "the next key brings the plain key bar back" keybar_has "Quit"
keys S-F12
wait_for "Shift+F12 shows the Shift key bar" keybar_lacks "Quit"
keys Escape
wait_for "the plain key bar is back" keybar_has "Quit"

# F3 runs the pager on the real terminal and the screen comes back afterwards.
if command -v less >/dev/null; then
  keys Home Down Down Down Down
  keys F3
  if wait_for "F3 shows the file in the pager" screen_has "hello"; then
    keys q
    wait_for "the panels come back after the pager" screen_has "╔"
    wait_for "with the key bar" keybar_has "Quit"
  fi
else
  echo "SKIPPED: the pager step (less is not installed)"
fi

# A resize redraws at the new size.
tmux_ resize-window -t qb -x 80 -y 24
wait_for "the pane is 80x24" pane_size_is 80x24
# tmux keeps the old bottom line at the bottom, so the frame tells that quillbox redrew.
wait_for "the frame spans the new 80 columns" top_frame_spans 80
keybar_has "Quit" || fail "the key bar is on the new last line"

# F10 leaves a clean terminal.
keys F10
wait_for "F10 leaves quillbox" screen_has "QB-EXIT=0"
terminal_is_clean || fail "the terminal is restored after F10"

# SIGTERM leaves through the same path.
start_quillbox "$work/no-plugins" 100 30
wait_for "quillbox starts again" keybar_has "Quit"
pid=$(quillbox_pid)
if [[ -n "$pid" ]]; then
  kill -TERM "$pid"
  wait_for "SIGTERM ends quillbox" screen_has "QB-EXIT="
  terminal_is_clean || fail "the terminal is restored after SIGTERM"
else
  fail "quillbox's process is found"
fi

# ---- The book --------------------------------------------------------------------------------
if ((have_book)); then
  start_quillbox "$work/plugins" 100 30
  wait_for "the book's panel opens" screen_has "Quillbox"
  wait_for "the key bar is shown" keybar_has "1"
  # The book's panel is the left one and active; the right one shows the working directory.
  wait_for "the right panel shows the working directory" screen_has "readme.txt"
  keys_until_changed F7 && pass "F7 asks for the new folder's name"
  keys -l "0Test"
  wait_for "the name is typed" screen_has "0Test"
  keys Enter
  wait_for "the new book folder is listed" dialog_closed_listing "0Test"
  keys Home Down Enter
  wait_for "Enter enters the book folder" screen_has '\0Test'
  keys C-PageUp
  wait_for "Ctrl+PgUp leaves the book folder" screen_lacks '\0Test'
  keys S-F12
  wait_for "the book's Shift key bar" keybar_lacks "Quit"
  # Esc and F10 sent together would read as Alt+F10 (ESC-prefixed), so let Esc arrive first.
  keys Escape
  wait_for "the book's plain key bar" keybar_has "Quit"
  keys F10
  wait_for "F10 leaves quillbox" screen_has "QB-EXIT=0"
  terminal_is_clean || fail "the terminal is restored after F10 from the book"
  ls "$work/config"/* >/dev/null 2>&1 || fail "settings were saved in the --config directory"
else
  echo "SKIPPED: the book's steps (no Quillbox.so in '${plugin_src}')"
fi

if ((failures > 0)); then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
