#!/usr/bin/env bash
# The editing keys through the headless host: F7 with blanks and a reserved character, a record,
# Comment and Address fields, an edit; then a second run finds everything and the book checks clean.
set -u
bin="${QB_BIN_DIR:?}/quillbox"
plugin_src="${QB_PLUGIN_DIR:?}"
for need in "$bin" "$plugin_src/Quillbox.so" "$plugin_src/Comment.qbl" "$plugin_src/Address.qbl"; do
  [[ -e "$need" ]] || { echo "SKIPPED: $need is not built"; exit 77; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/qb-edit-headless.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/config" "$work/plugins"
cp "$plugin_src/Quillbox.so" "$plugin_src/Comment.qbl" "$plugin_src/Address.qbl" "$work/plugins/"
cp "$plugin_src"/*.lng "$work/plugins/" 2>/dev/null
run() { (cd "$work" && HOME="$work" XDG_CONFIG_HOME="$work" "$bin" --headless --size 80x25 \
  --config "$work/config" --plugins "$work/plugins" "$1"); }
failures=0
check() { if grep -qF -- "$2" "$3"; then echo "ok: $1"; else echo "FAIL: $1"; cat "$3"; failures=$((failures + 1)); fi; }

cat >"$work/first" <<'SCRIPT'
F7
text   a:b
Enter
screen
Enter
ShiftF4
text Bob
Enter
Enter
ShiftF4
Down
Enter
text Nice guy
CtrlEnter
ShiftF4
Enter
text Main St 1
Enter
text Springfield
CtrlEnter
F4
Down
End
text  12345
CtrlEnter
F3
screen
Esc
F10
SCRIPT
run "$work/first" >"$work/first.out" || failures=$((failures + 1))
check "F7 makes a_b and the cursor stands on it" "║a_b " "$work/first.out"
check "the record holds the Comment field" "║Comment     │Nice guy" "$work/first.out"
check "the edited address is stored" "Springfield 12345" "$work/first.out"

cat >"$work/second" <<'SCRIPT'
Down
Enter
Down
Enter
screen
SCRIPT
run "$work/second" >"$work/second.out" || failures=$((failures + 1))
check "after a restart the record is there" "Quillbox:\\a_b\\Bob" "$work/second.out"
check "with its Address field" "║Address     │Main St 1" "$work/second.out"
check "and its Comment field" "║Comment     │Nice guy" "$work/second.out"
if [[ -x "${QB_BIN_DIR}/cfbtool" ]]; then
  if "${QB_BIN_DIR}/cfbtool" check "$work/plugins/Quillbox.Dat" >/dev/null; then echo "ok: cfbtool check";
  else echo "FAIL: cfbtool check"; failures=$((failures + 1)); fi
fi
((failures == 0)) && echo "all checks passed" || { echo "$failures check(s) failed"; exit 1; }
