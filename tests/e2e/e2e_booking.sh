#!/bin/bash
# The day's booking on a real database (sqlite or postgresql): a project and an activity
# created in "&Database", the tasks booked with "Sa&ve to DB", the records totalled and
# exported.
set -euo pipefail
KORVAN="$1"; ENGINE="$2"
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/desktop.sh"
start_desktop "e2e_booking_$ENGINE"
STORE="$XDG_CONFIG_HOME/Myrkat/Korvan.reg"
mkdir -p "$(dirname "$STORE")"

if [ "$ENGINE" = postgresql ]; then
    [ -n "${KORVAN_TEST_PG:-}" ] || { [ -n "${CI:-}" ] && fail "no KORVAN_TEST_PG under CI"; echo "skipped: no PostgreSQL"; exit 0; }
    DBNAME="korvan_e2e_$$"
    PGURL="host=127.0.0.1 port=${PG_PORT:-55432} user=korvan password=korvan-test"
    psql "$PGURL dbname=postgres" -qc "CREATE DATABASE $DBNAME" >/dev/null
    query() { psql "$PGURL dbname=$DBNAME" -Atc "$1"; }
else
    query() { sqlite3 "$XDG_DATA_HOME/Myrkat/Korvan/Korvan.dat" "$1"; }
fi

# Two tasks recorded earlier today, with their descriptions; project and activity ids 1.
python3 - "$STORE" <<'PY'
import struct, sys
store = sys.argv[1]
def hexd(d): return ",".join("%02x" % b for b in struct.pack("<d", d))
lines = ["Windows Registry Editor Version 5.00", "", "[HKEY_CURRENT_USER\\Software\\Myrkat\\Korvan]",
         '"Count"=dword:00000002', '"Auto Start"=dword:00000000']
for i, (name, hours, text) in enumerate([("Writing", 2.5, "Chapter 3"), ("Support", 1.25, "Ticket \"42\"; phone")]):
    lines += ['"Project%d"="%s"' % (i, name), '"Time%d"=hex:%s' % (i, hexd(hours / 24)),
              '"Description%d"="%s"' % (i, text.replace('"', '\\"')),
              '"SectionId%d"=dword:00000001' % i, '"ActivityId%d"=dword:00000001' % i]
open(store, "w", encoding="utf-8").write("\r\n".join(lines) + "\r\n")
PY

if [ "$ENGINE" = postgresql ]; then
    # The server is chosen on the "Settings" page: a wrong password is refused with the
    # server's reason, the right one is tested, applied and kept for the next start.
    start_korvan
    menu o
    wait_window 'Korvan 1.5' >/dev/null
    keys alt+d
    wait_window 'Database' >/dev/null
    keys ctrl+Tab ctrl+Tab alt+k End
    keys alt+h; typed 127.0.0.1
    keys alt+o ctrl+a; typed "$PG_PORT"
    keys alt+b; typed "$DBNAME"
    keys alt+u; typed korvan
    keys alt+w; typed wrong
    keys alt+a
    wait_window 'Database connection' >/dev/null
    shot wrong-password
    keys Return
    wait_window 'Database' >/dev/null
    keys alt+w ctrl+a; typed korvan-test
    keys alt+t
    wait_window 'Test connection' >/dev/null
    keys Return
    wait_window 'Database' >/dev/null
    # An empty database gets the tables only when the user says so.
    keys alt+a
    ASKED=$(wait_window 'Database connection')
    shot apply-asks
    keys alt+y
    wait_for "the tables to be made" query 'SELECT COUNT(*) FROM SEP_TypPrace'
    window_gone_id() { ! xdotool search --onlyvisible --name '^Database connection$' | grep -qx "$1"; }
    wait_for "the question to close" window_gone_id "$ASKED"
    wait_window 'Database connection' >/dev/null
    shot connection-applied
    keys Return
    wait_window 'Database' >/dev/null
    keys Escape
    wait_no_window 'Database'
    grep -q '^"Connection"=.*Provider=PostgreSQL' "$STORE" || fail "connection not stored: $(cat "$STORE")"
    grep -q 'korvan-test' "$STORE" && fail "the password is stored in clear"
    menu x
    wait_korvan_exit
    [ "$KORVAN_STATUS" = 0 ] || fail "exit status $KORVAN_STATUS"
    # The ids of the old database were let go; the new one's are chosen again.
    grep -q '^"SectionId0"=dword:00000000' "$STORE" || fail "ids of the old database kept"
    sed -i 's/^"\(Section\|Activity\)Id\([01]\)"=dword:00000000/"\1Id\2"=dword:00000001/' "$STORE"
fi

start_korvan
menu o
wait_window 'Korvan 1.5' >/dev/null
keys alt+d
wait_window 'Database' >/dev/null
shot database-empty
keys ctrl+Tab Tab Tab space            # "Projects & Activities", project list, "Add"
wait_window 'New project' >/dev/null
typed "Client's site"
keys Return
wait_no_window 'New project'
keys Tab Tab Tab Tab space             # Edit, Delete, activity list, "Add"
wait_window 'New activity' >/dev/null
typed "Coding"
keys Return
wait_no_window 'New activity'
shot projects-and-activities
keys Escape
wait_no_window 'Database'
[ "$(query 'SELECT COUNT(*) FROM SEP_TypPrace')" = 1 ] || fail "activity not stored"

wait_window 'Korvan 1.5' >/dev/null
keys alt+v
SUMMARY=$(wait_window 'Summary')
# The wheel over the first entry's date, which does not have the focus, leaves it as it is.
xdotool mousemove --window "$SUMMARY" 470 53 click 4 click 4 click 5 click 5 click 5
shot summary
keys Return                             # "Save to DB" is the default button
wait_window 'Confirm' >/dev/null
shot confirm
keys Return                             # Yes
wait_window 'Information' >/dev/null
keys Return
wait_no_window 'Summary'
[ "$(query 'SELECT COUNT(*) FROM SEP_ProvedenaPrace')" = 2 ] || fail "records not booked"
[ "$(query 'SELECT SUM(Cas) FROM SEP_ProvedenaPrace')" = 3.75 ] || fail "wrong hours booked"
[ "$(query "SELECT COUNT(*) FROM SEP_ProvedenaPrace WHERE CAST(DatumPrace AS TEXT) LIKE '$(date +%Y-%m-%d)%'")" = 2 ] ||
    fail "a date was changed by the wheel: $(query 'SELECT DatumPrace FROM SEP_ProvedenaPrace')"

menu o
wait_window 'Korvan 1.5' >/dev/null
keys alt+d
wait_window 'Database' >/dev/null
keys ctrl+shift+Tab                      # back to "Recorded times" (the last page stays selected)
shot records
keys alt+h                               # the chart of the booked day, beside the grid
sleep 0.5                                # painted; only the screenshot depends on it
shot chart
keys alt+e
wait_window 'Export data' >/dev/null
keys ctrl+a
typed "$WORK/day.csv"
keys Return
wait_window 'Export' >/dev/null
keys Return
[ -f "$WORK/day.csv" ] || fail "no export file"
head -1 "$WORK/day.csv" | grep -q '^"Date";"Project";"Time";"Activity";"Description";' || fail "bad header"
grep -q "\"Client's site\";\"2.5\";\"Coding\";\"Chapter 3\";" "$WORK/day.csv" || fail "record missing: $(cat "$WORK/day.csv")"
grep -q '"Ticket ""42""; phone";' "$WORK/day.csv" || fail "quotes not doubled"
[ "$(wc -l <"$WORK/day.csv")" = 3 ] || fail "not three lines"
cp "$WORK/day.csv" "$ARTIFACTS/day.csv"
keys Escape
menu x
wait_korvan_exit
[ "$KORVAN_STATUS" = 0 ] || fail "exit status $KORVAN_STATUS"
grep -q '"Time0"=hex:00,00,00,00,00,00,00,00' "$STORE" || fail "tasks not reset after the booking"
[ "$ENGINE" = postgresql ] && psql "$PGURL dbname=postgres" -qc "DROP DATABASE $DBNAME" >/dev/null
echo "e2e_booking $ENGINE: ok"
