#!/bin/bash
# A full disk under the store: a switch from one task to another cannot be saved, yet the
# journal, written into room it reserved, keeps which task ran when. Killed, the next start
# gives the first task its seconds at once and asks only about the run that was still
# going; ended in order (a logout), the next start asks nothing and both tasks have theirs.
# The store's folder is a tiny tmpfs of its own, so this needs root.
set -euo pipefail
KORVAN="$1"
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/desktop.sh"
if [ "$(id -u)" != 0 ]; then
    echo "e2e_full_disk: skipped (mounting a tmpfs needs root)"
    exit 0
fi
start_desktop e2e_full_disk
MNT="$XDG_CONFIG_HOME/Myrkat"
mkdir -p "$MNT"
mount -t tmpfs -o size=256k,mode=0700 tmpfs "$MNT"
trap 'status=$?; umount "$MNT" 2>/dev/null; stop_desktop || status=1; exit "$status"' EXIT

running() { "$K" --list | grep -q $'\trunning\t'"$1"'$'; }
has_journal() { [ -n "$(find "$MNT" -name 'korvan-*.journal')" ]; }
# Fills the disk, runs Writing about 3 s and then Zeta: the save of the switch fails and
# says so.
switch_on_full_disk() {
    write_store '"Auto Start"=dword:00000000' -- Writing Zeta
    start_korvan
    "$K" --start Writing
    wait_for "Writing to run" running Writing
    wait_for "the journal of the run" has_journal
    dd if=/dev/zero of="$MNT/fill" bs=4k 2>/dev/null || true
    sleep 3 # Writing runs
    "$K" --start Zeta
    wait_window Error >/dev/null
    shot save-failed
    keys Return
    wait_for "Zeta to run" running Zeta
    sleep 4 # Zeta runs
}
# The seconds each task got are about what it ran: Writing 3 s, Zeta at least 4 s.
check_seconds() {
    local writing zeta
    writing=$(seconds_of Writing)
    zeta=$(seconds_of Zeta)
    [ "$writing" -ge 2 ] && [ "$writing" -le 5 ] || fail "Writing has $writing s, ran 3 s"
    [ "$zeta" -ge 4 ] || fail "Zeta has $zeta s, ran 4 s"
    echo "Writing $writing s, Zeta $zeta s"
}

# 1. Killed.
switch_on_full_disk
kill -KILL "$KORVAN_PID"
wait_korvan_exit
rm -f "$MNT/fill"
start_korvan
wait_window Korvan >/dev/null
shot question-after-full-disk
keys alt+n # "Count until now": Zeta's run
wait_no_window Korvan
check_seconds
kill -TERM "$KORVAN_PID"
wait_korvan_exit

# 2. A logout while the disk is full: the last save fails without a box, the journal keeps
# the runs, and the next start has them without a question.
switch_on_full_disk
kill -TERM "$KORVAN_PID"
wait_korvan_exit
[ "$KORVAN_STATUS" = 0 ] || fail "exit status $KORVAN_STATUS on SIGTERM"
rm -f "$MNT/fill"
start_korvan
window_shown Korvan && fail "a question after an orderly end"
check_seconds
kill -TERM "$KORVAN_PID"
wait_korvan_exit
[ -z "$(find "$MNT" -name '*journal*')" ] || fail "journals left: $(ls "$MNT")"
echo "e2e_full_disk: ok"
