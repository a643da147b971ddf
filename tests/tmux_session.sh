# Shared by the end-to-end tests that drive quillbox in a real terminal under tmux. Source it after
# setting `name` (a short word for the temporary directory and the tmux socket). It gives:
#   $work           a private temporary directory, removed at exit with the tmux server
#   tmux_ ARGS      tmux on the private socket with $work/tmux.conf
#   pass / fail     report a step (fail prints the screen and counts in $failures)
#   screen_text, screen_has TEXT, screen_lacks TEXT
#   screen_state    the screen with its colours and attributes (a moved cursor bar shows there)
#   wait_for DESCRIPTION COMMAND...   polls COMMAND until it holds, for up to $QB_TMUX_WAIT s (30)
#   keys_until_changed KEYS...        sends KEYS and waits until the screen changes
# The session is expected to be named "qb".
#
# Keys reach quillbox in the order they are sent, however far behind it is; so a test only has to
# wait where it reads the screen, and where a key must be read on its own: an Esc that is still
# unread when the next key arrives is that key with Alt. Every check polls (a loaded machine may
# draw a second later) and looks for something only the expected screen shows, not for text the
# previous screen had already.
# shellcheck shell=bash

if ! command -v tmux >/dev/null; then
  echo "SKIPPED: tmux is not installed"
  exit 77
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/qb-${name:-tmux}.XXXXXX")
socket="qb-${name:-tmux}-$$"
tmux_() { tmux -L "$socket" -f "$work/tmux.conf" "$@"; }
cleanup() {
  tmux_ kill-server >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

cat >"$work/tmux.conf" <<'CONF'
set -g default-terminal "tmux-256color"
set -g escape-time 10
set -g status off
# Killing the last session must not stop the server: a new session right after would race with
# its exit ("server exited unexpectedly").
set -s exit-empty off
CONF

failures=0
fail() {
  echo "FAIL: $*"
  echo "---- screen ----"
  tmux_ capture-pane -p -t qb 2>/dev/null
  echo "----------------"
  failures=$((failures + 1))
}
pass() { echo "ok: $*"; }

screen_text() { tmux_ capture-pane -p -t qb; }
screen_has() { screen_text | grep -qF -- "$1"; }
screen_lacks() { ! screen_text | grep -qF -- "$1"; }
screen_state() { tmux_ capture-pane -p -e -t qb; }

# Polling ends as soon as the check holds, so the limit costs nothing when all is well; it is
# generous for the sanitizer build on a machine busy with other builds.
wait_limit=$((${QB_TMUX_WAIT:-30} * 10))
wait_for() {
  local what=$1
  shift
  local i
  for ((i = 0; i < wait_limit; i++)); do
    if "$@"; then
      pass "$what"
      return 0
    fi
    sleep 0.1
  done
  fail "$what"
  return 1
}

screen_differs_from() { [[ "$(screen_state)" != "$1" ]]; }
keys_until_changed() {
  local before
  before=$(screen_state)
  tmux_ send-keys -t qb "$@"
  wait_for "the screen follows '$*'" screen_differs_from "$before"
}
