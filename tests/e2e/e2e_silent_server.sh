#!/bin/bash
# A PostgreSQL server that stopped answering (the kernel still accepts the connection, as
# for a server under SIGSTOP) keeps only the Database dialog waiting: the wait window shows,
# the tray menu opens and the control interface answers meanwhile, Cancel ends the wait with
# a message, and a logout during a wait ends the program at once.
set -euo pipefail
KORVAN="$1"
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/desktop.sh"
start_desktop e2e_silent_server

python3 -c 'import signal, socket
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(16)
print(s.getsockname()[1], flush=True); signal.pause()' >"$WORK/port" &
PIDS+=($!)
wait_for "the silent server" grep -q '^[0-9]' "$WORK/port"
write_store "\"Connection\"=\"Provider=PostgreSQL;Data Source=127.0.0.1:$(head -1 "$WORK/port");Initial Catalog=korvan;User ID=korvan\"" \
    '"Auto Start"=dword:00000000' -- Writing

# Answers at once, or fails the scenario.
answers() { timeout 3 "$K" "$@"; }
open_database() {
    menu o
    wait_window 'Korvan 1.5' >/dev/null
    keys alt+d
    wait_window 'Database server' >/dev/null
}

start_korvan
open_database
shot waiting
answers --start Writing
answers --status | grep -q $'^Writing\t' || fail "--status while waiting: $(answers --status)"
click_icon 3
wait_for "the tray menu while waiting" popup_shown
xdotool key Escape
wait_for "the tray menu to close" no_popup
wait_window 'Database server' >/dev/null
keys Return
# The records page says why it shows none.
wait_window 'Database' >/dev/null
shot cancelled
keys Escape
wait_no_window 'Database'

open_database
kill -TERM "$KORVAN_PID"
wait_korvan_exit
[ "$KORVAN_STATUS" = 0 ] || fail "exit status $KORVAN_STATUS while waiting"
grep -q '"Time0"=hex:00,00,00,00,00,00,00,00' "$STORE" && fail "the started task has no time"
echo "e2e_silent_server: ok"
