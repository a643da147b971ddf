# Shared by the end-to-end tests that drive quillbox in a real terminal under tmux. Source it after
# setting `name` (a short word for the temporary directory and the tmux socket). It gives:
#   $work           a private temporary directory, removed at exit with the tmux server
#   tmux_ ARGS      tmux on the private socket with $work/tmux.conf
#   pass / fail     report a step (fail prints the screen and counts in $failures)
#   screen_text, screen_has TEXT, screen_lacks TEXT
#   wait_for DESCRIPTION COMMAND...   polls COMMAND for up to 10 s
# The session is expected to be named "qb".
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

wait_for() {
  local what=$1
  shift
  local i
  for ((i = 0; i < 100; i++)); do
    if "$@"; then
      pass "$what"
      return 0
    fi
    sleep 0.1
  done
  fail "$what"
  return 1
}
