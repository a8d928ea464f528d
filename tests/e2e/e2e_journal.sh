#!/bin/bash
# Minutes survive a hard end: killed with SIGKILL 70 s into a run, or with the X server
# gone under it, the program asks at the next start how much of the missing time to count,
# and the answer is what the store keeps. After an orderly end nothing is asked.
set -euo pipefail
KORVAN="$1"
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/desktop.sh"
start_desktop e2e_journal
# The running copy's own journal.
journal() { find "$XDG_CONFIG_HOME/Myrkat" -name 'korvan-*.journal' | head -1; }

running() { "$K" --list | grep -q $'\trunning\tWriting$'; }
# The seconds the store holds for its first task.
stored_seconds() {
    python3 -c 'import re, struct, sys
m = re.search(r"\"Time0\"=hex:([0-9a-f,]+)", open(sys.argv[1], encoding="utf-8", errors="replace").read())
print(round(struct.unpack("<d", bytes.fromhex(m.group(1).replace(",", "")))[0] * 86400))' "$STORE"
}
no_leftovers() { ! ls "$XDG_CONFIG_HOME/Myrkat" | grep -q journal; }

# 1. SIGKILL after 70 s.
write_store '"Auto Start"=dword:00000000' -- Writing Zeta
start_korvan
"$K" --start Writing
wait_for "Writing to run" running
JOURNAL=$(journal)
[ -f "$JOURNAL" ] || fail "no journal while a task runs"
[ "$(stat -c %a "$JOURNAL")" = 600 ] || fail "journal mode $(stat -c %a "$JOURNAL")"
sleep 70 # the task runs; the auto-save (5 min) does not come
kill -KILL "$KORVAN_PID"
wait_korvan_exit
[ "$(stored_seconds)" -le 2 ] || fail "the store holds $(stored_seconds) s: it was saved after the start"
grep -c '^beat ' "$JOURNAL" | grep -qx 2 || fail "not two signs of life: $(cat "$JOURNAL")"

start_korvan
question=$(wait_window Korvan)
shot gap-question
keys alt+l # "Count until the last sign of life"
wait_no_window Korvan
got=$(seconds_of Writing)
[ "$got" -ge 40 ] && [ "$got" -le 70 ] || fail "Writing has $got s after the question"
running && fail "Writing runs though resuming was not asked for"
stored=$(stored_seconds)
[ $((stored - got)) -ge -1 ] && [ $((stored - got)) -le 1 ] || fail "the store holds $stored s, not the answer's $got s"
kill -TERM "$KORVAN_PID"
wait_korvan_exit
[ "$KORVAN_STATUS" = 0 ] || fail "exit status $KORVAN_STATUS"
no_leftovers || fail "journal left after an orderly end: $(ls "$XDG_CONFIG_HOME/Myrkat")"
echo "after SIGKILL: $got s of 70 brought back"

# 2. The X server goes away 35 s into a run: the program ends with it, unsaved; with a new
# display the question comes, and resuming is honoured.
start_korvan
"$K" --start Writing
wait_for "Writing to run" running
sleep 35
before=$got
kill "${PIDS[0]}" # Xvfb
wait_korvan_exit
[ "$KORVAN_STATUS" != 0 ] || echo "note: the program ended with status 0 without its display"
cp -a "$XDG_CONFIG_HOME" "/tmp/e2e_journal_config.$$"
trap - EXIT
stop_desktop || exit 1
start_desktop e2e_journal_display
rm -rf "$XDG_CONFIG_HOME"
mv "/tmp/e2e_journal_config.$$" "$XDG_CONFIG_HOME"
start_korvan
wait_window Korvan >/dev/null
shot gap-question-after-display-loss
keys alt+r alt+n # resume, "Count until now"
wait_no_window Korvan
wait_for "Writing to run again" running
got=$(seconds_of Writing)
[ "$got" -ge $((before + 30)) ] || fail "Writing has $got s, had $before before a 35 s run"
kill -TERM "$KORVAN_PID"
wait_korvan_exit
no_leftovers || fail "journal left after an orderly end"
echo "after the display was lost: $((got - before)) s brought back"
echo "e2e_journal: ok"
