#!/usr/bin/env bash
# Enter on an Execute field in a real terminal: quillbox under tmux starts the machine's own
# xdg-open for "https://example.org". Without a desktop xdg-open finds no application and the box
# for "no application" shows; on a desktop the page opens and no box shows. Either way the screen
# is the same as before once the box is gone, and quillbox keeps no child (no zombie).
#
# Environment: QB_BIN_DIR, QB_PLUGIN_DIR. Exits 77 (skipped) without tmux or without xdg-open.
set -u

bin="${QB_BIN_DIR:?QB_BIN_DIR is not set}/quillbox"
plugin_src="${QB_PLUGIN_DIR:?QB_PLUGIN_DIR is not set}"
for need in "$bin" "$plugin_src/Quillbox.so" "$plugin_src/Execute.qbl"; do
  [[ -e "$need" ]] || { echo "FAILED: $need is not built"; exit 1; }
done
opener=$(command -v xdg-open) || { echo "SKIPPED: xdg-open is not installed"; exit 77; }
name=exec
source "$(dirname "$0")/../tmux_session.sh"

keys() { tmux_ send-keys -t qb "$@"; }
mkdir -p "$work/home" "$work/xdg" "$work/config" "$work/plugins" "$work/disk"
cp "$plugin_src/Quillbox.so" "$plugin_src/Execute.qbl" "$plugin_src"/*.lng "$work/plugins/"

desktop=0
[[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]] && desktop=1
tmux_ new-session -d -s qb -x 100 -y 25 -c "$work/disk" \
  "env HOME='$work/home' XDG_CONFIG_HOME='$work/xdg' LANG=C.UTF-8 LC_ALL=C.UTF-8 \
     '$bin' --config '$work/config' --plugins '$work/plugins'; echo QB-EXIT=\$?; exec sleep 600"
quillbox_pid() { pgrep -P "$(tmux_ display -p -t qb '#{pane_pid}')" -x quillbox | head -1; }

wait_for "quillbox shows its panels" screen_has "10Quit"
wait_for "the book panel is open" screen_has "Quillbox"
keys S-F4
wait_for "the new-record dialog opens" screen_has "Record name"
keys -l "Bob"
keys Enter
# What is typed into a dialog shows there too: a name counts as listed once the dialog is gone.
listed() { screen_lacks "{ OK }" && screen_has "$1"; }
wait_for "the record is made" listed "Bob"
keys Enter
wait_for "inside the record" screen_has 'Quillbox:\Bob'
keys S-F4
wait_for "the add-field menu offers Execute" screen_has "Execute"
keys Enter
wait_for "the Execute edit dialog opens" screen_has "{ OK }"
keys -l "https://example.org #site"
keys Enter
wait_for "the field is in the record" listed "site"
keys Down
# The panel's status line shows the address once the cursor is on the field.
wait_for "the cursor is on the field" screen_has "║https://example.org"
before=$(screen_text)
pid=$(quillbox_pid)
[[ -n "$pid" ]] || fail "quillbox is running"

started=$(date +%s%N)
keys Enter
if ((desktop == 0)); then
  wait_for "without a desktop the box for 'no application' shows" \
    screen_has "No application is associated with this file"
  screen_has "https://example.org" || fail "the box names the address"
  took_ms=$((($(date +%s%N) - started) / 1000000))
  echo "info: the box stood after ${took_ms} ms"
  keys Enter
else
  sleep 3
  screen_lacks "Error" || { echo "info: this desktop has no browser"; keys Enter; }
fi
same_as_before() { [[ "$(screen_text)" == "$before" ]]; }
wait_for "the screen is the same as before Enter" same_as_before

children_of() { ps -o pid=,stat=,comm= --ppid "$1" 2>/dev/null; }
no_child() { [[ -z "$(children_of "$pid")" ]]; }
wait_for "quillbox keeps no child process" no_child || echo "children left: $(children_of "$pid")"
zombies=$(ps -e -o stat=,ppid= | awk -v p="$pid" '$1 ~ /^Z/ && $2 == p')
[[ -z "$zombies" ]] && pass "no zombie of quillbox" || fail "zombies: $zombies"

keys F10
wait_for "F10 quits" screen_has "QB-EXIT="
screen_has "QB-EXIT=0" || fail "quillbox exits with status 0"

((failures == 0)) && echo "all checks passed" || { echo "$failures check(s) failed"; exit 1; }
