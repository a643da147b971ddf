#!/usr/bin/env bash
# End to end in a real terminal: a folder, a record in it, a Comment and an Address field, the
# address edited; after quitting and starting again everything is there and the book checks clean.
#
# Environment: QB_BIN_DIR (quillbox and cfbtool), QB_PLUGIN_DIR (Quillbox.so, Comment.qbl,
# Address.qbl, the language files). Exits 77 (skipped) when something it needs is missing.
set -u

bin="${QB_BIN_DIR:?QB_BIN_DIR is not set}/quillbox"
cfbtool="${QB_BIN_DIR}/cfbtool"
plugin_src="${QB_PLUGIN_DIR:?QB_PLUGIN_DIR is not set}"
for need in "$bin" "$plugin_src/Quillbox.so" "$plugin_src/Comment.qbl" "$plugin_src/Address.qbl"; do
  if [[ ! -e "$need" ]]; then
    echo "SKIPPED: $need is not built"
    exit 77
  fi
done
name=edit
source "$(dirname "$0")/../tmux_session.sh"

keys() { tmux_ send-keys -t qb "$@"; }
# No dialog or editor is open ("{ OK }" is their default button) and TEXT is on the screen: what
# was typed into a dialog shows there too, so TEXT alone would not tell that it was accepted.
listed() { screen_lacks "{ OK }" && screen_has "$1"; }
# An editor or dialog is open and shows TEXT.
editing() { screen_has "{ OK }" && screen_has "$1"; }
# The view of a field: a box with a lone [ OK ] button (the editor has { OK } and [ Cancel ]).
viewing() { screen_has "$1" && screen_has "[ OK ]" && screen_lacks "[ Cancel ]"; }
# Leaves a multi-line editor of five lines through its OK button, from line `from` (0-based).
editor_ok() {
  local i
  for ((i = $1; i < 5; i++)); do keys Down; done
  keys Enter
}

mkdir -p "$work/home" "$work/xdg" "$work/config" "$work/disk" "$work/plugins"
cp "$plugin_src/Quillbox.so" "$plugin_src/Comment.qbl" "$plugin_src/Address.qbl" "$work/plugins/"
cp "$plugin_src"/*.lng "$work/plugins/" 2>/dev/null

start_quillbox() {
  tmux_ new-session -d -s qb -x 100 -y 30 -c "$work/disk" \
    "env HOME='$work/home' XDG_CONFIG_HOME='$work/xdg' LANG=C.UTF-8 LC_ALL=C.UTF-8 \
       '$bin' --config '$work/config' --plugins '$work/plugins'; \
     echo QB-EXIT=\$?; exec sleep 600"
}

start_quillbox
wait_for "the book opens in a panel" screen_has "Quillbox"

keys F7
wait_for "F7 asks for the folder's name" screen_has "{ OK }"
keys -l "Friends"
keys Enter
wait_for "the folder is listed" listed "Friends"
keys Enter
wait_for "the folder is entered" screen_has "\\Friends"

keys S-F4
wait_for "Shift+F4 asks for the record's name" screen_has "{ OK }"
keys -l "Bob"
keys Enter
wait_for "the record is listed" listed "Bob"
keys Enter
wait_for "the record is entered" screen_has "\\Friends\\Bob"

keys S-F4
wait_for "Shift+F4 offers the field types" screen_has "Add field"
keys Down
keys Enter
wait_for "the Comment editor opens" screen_has "{ OK }"
keys -l "Nice guy"
editor_ok 0
wait_for "the Comment field is listed" listed "Nice guy"

keys S-F4
wait_for "the field types again" screen_has "Add field"
keys Enter
wait_for "the Address editor opens" screen_has "{ OK }"
keys -l "Main St 1"
keys Enter
keys -l "Springfield"
editor_ok 1
wait_for "the Address field is listed" listed "Main St 1"

keys F4
wait_for "F4 opens the address" editing "Springfield"
keys Down
keys End
keys -l " 12345"
editor_ok 1
wait_for "the editor closes" screen_lacks "{ OK }"
keys F3
wait_for "the edited address is stored" viewing "Springfield 12345"
# An Esc still unread when F10 comes would make Alt+F10 of the two: F10 waits for the view to close.
keys Escape
wait_for "Esc closes the view" screen_lacks "Springfield 12345"

keys F10
wait_for "F10 leaves" screen_has "QB-EXIT="
screen_has "QB-EXIT=0" || fail "quillbox exits with status 0 (a sanitizer report changes it)"
tmux_ kill-session -t qb

start_quillbox
wait_for "the book opens again" screen_has "Friends"
keys Down
keys Enter
wait_for "the folder is still there" screen_has "\\Friends"
keys Down
keys Enter
wait_for "the record is still there" screen_has "\\Friends\\Bob"
wait_for "the Comment field is still there" screen_has "Nice guy"
wait_for "the Address field is still there" screen_has "Main St 1"
keys F10
wait_for "F10 leaves again" screen_has "QB-EXIT="
screen_has "QB-EXIT=0" || fail "quillbox exits with status 0 the second time"

if [[ -x "$cfbtool" ]]; then
  if "$cfbtool" check "$work/plugins/Quillbox.Dat"; then
    pass "cfbtool check passes on the book"
  else
    fail "cfbtool check fails on the book"
  fi
else
  echo "note: cfbtool is not built; the book's structure was not checked"
fi

if ((failures > 0)); then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
