#!/usr/bin/env bash
# End to end in a real terminal: a Date field added to a record and edited with the month picked
# from the list, shown in the panel in the configured style; the style changed through F9 shows at
# once.
#
# Environment: QB_BIN_DIR (quillbox), QB_PLUGIN_DIR (Quillbox.so, Date.qbl, the language files).
# Exits 77 (skipped) when something it needs is missing.
set -u

bin="${QB_BIN_DIR:?QB_BIN_DIR is not set}/quillbox"
plugin_src="${QB_PLUGIN_DIR:?QB_PLUGIN_DIR is not set}"
for need in "$bin" "$plugin_src/Quillbox.so" "$plugin_src/Date.qbl"; do
  if [[ ! -e "$need" ]]; then
    echo "SKIPPED: $need is not built"
    exit 77
  fi
done
name=date
source "$(dirname "$0")/../tmux_session.sh"

keys() {
  tmux_ send-keys -t qb "$@"
  sleep 0.2
}

mkdir -p "$work/home" "$work/xdg" "$work/config" "$work/disk" "$work/plugins"
cp "$plugin_src/Quillbox.so" "$plugin_src/Date.qbl" "$work/plugins/"
cp "$plugin_src"/*.lng "$work/plugins/" 2>/dev/null

# 1 February 2023, noon: no reminder for an August date.
start_quillbox() {
  tmux_ new-session -d -s qb -x 100 -y 30 -c "$work/disk" \
    "env HOME='$work/home' XDG_CONFIG_HOME='$work/xdg' LANG=C.UTF-8 LC_ALL=C.UTF-8 TZ=UTC \
       QUILLBOX_FIXED_TIME=1675252800 \
       '$bin' --config '$work/config' --plugins '$work/plugins'; \
     echo QB-EXIT=\$?; exec sleep 600"
}

start_quillbox
wait_for "the book opens in a panel" screen_has "Quillbox"

keys S-F4
wait_for "Shift+F4 asks for the record's name" screen_has "{ OK }"
keys -l "Ann"
keys Enter
wait_for "the record is listed" screen_has "Ann"
keys Enter
wait_for "the record is entered" screen_has "\\Ann"

# A new field: Date is the only type; its dialog opens on the day.
keys S-F4
wait_for "the field type menu offers Date" screen_has "Date"
keys Enter
wait_for "the edit dialog shows the kinds" screen_has "Wedding anniversary"
screen_has "I " || fail "the month list shows Roman numerals (the default style)"
keys BSpace
keys -l "5"
keys Tab
# The month from its list: the eighth entry.
keys C-Down
wait_for "the month list opens" screen_has "XII"
for _ in 1 2 3 4 5 6 7; do keys Down; done
keys Enter
wait_for "the month list closes on VIII" screen_has "VIII"
keys Tab
keys BSpace BSpace BSpace BSpace
keys -l "80"
keys Enter
wait_for "the field shows in the configured style" screen_has "05.VIII.1980"
screen_has "Birthday" || fail "the field is named after its kind"

# F9: the host's menu, the configuration menu, Date's dialog; the third style.
keys F9
wait_for "F9 opens the host's configuration menu" screen_has "Plugins configuration"
keys Enter
wait_for "the plug-in's configuration menu lists Date" screen_has "║ Date "
keys Down
keys Enter
wait_for "Date's configuration dialog opens" screen_has "Show dates as"
keys Down Down
keys Space
keys Enter
wait_for "the configuration menu is back" screen_has "║ Date "
keys Escape
wait_for "the style changes at once" screen_has "05 August 1980"
screen_lacks "05.VIII.1980" || fail "the old style is gone"

keys F10
wait_for "F10 leaves" screen_has "QB-EXIT="
tmux_ kill-session -t qb

# The style was kept.
start_quillbox
wait_for "the book opens again" screen_has "Ann"
keys Down
keys Enter
wait_for "the field keeps the configured style" screen_has "05 August 1980"
keys F10
wait_for "F10 leaves again" screen_has "QB-EXIT="

if ((failures > 0)); then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
