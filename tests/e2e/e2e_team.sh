#!/bin/bash
# A team on one PostgreSQL server, set up with the shipped team set-up as the README says:
# alice books her day with "Sa&ve to DB" and the record is hers on the server; bob, on the
# same server with his own login, exports his records and finds none of hers.
set -euo pipefail
KORVAN="$1"
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/desktop.sh"
[ -n "${KORVAN_TEST_PG_ADMIN:-}" ] || { [ -n "${CI:-}" ] && fail "no PostgreSQL under CI"; echo "skipped: no PostgreSQL"; exit 0; }
start_desktop e2e_team
STORE="$XDG_CONFIG_HOME/Myrkat/Korvan.reg"
DBNAME="korvan_team_$$"
admin() { psql "$KORVAN_TEST_PG_ADMIN dbname=$1" -XqAt -v ON_ERROR_STOP=1 -c "$2"; }
as() { PGPASSWORD="$1-secret" psql "host=127.0.0.1 port=$PG_PORT user=$1 dbname=$DBNAME" -XqAt -c "$2"; }

admin postgres "CREATE DATABASE $DBNAME" >/dev/null
psql "$KORVAN_TEST_PG_ADMIN dbname=$DBNAME" -Xq -v ON_ERROR_STOP=1 \
    -f "$HERE/../../resources/schema/postgresql-team.sql" >/dev/null
for who in alice bob boss; do
    role=korvan_member; [ "$who" = boss ] && role=korvan_admin
    admin "$DBNAME" "DO \$\$ BEGIN IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = '$who')
        THEN CREATE ROLE $who; END IF; END \$\$; ALTER ROLE $who LOGIN PASSWORD '$who-secret';
        GRANT $role TO $who" >/dev/null
done
as boss "INSERT INTO SEP_Usek (Vytvoril) VALUES ('boss');
         INSERT INTO SEP_UsekHistorie (id_Usek, Nazev) VALUES (1, 'Shared');
         INSERT INTO SEP_TypPrace (TypPrace) VALUES ('Coding');
         INSERT INTO SEP_PovolenyUzivatel VALUES (korvan_person('alice'), 1), (korvan_person('bob'), 1)"

# A person's store: one task of two hours on the project, and their own connection. The
# password comes from the environment, as from ~/.pgpass, so that the store holds none.
person_store() {
    python3 - "$STORE" "$1" "$PG_PORT" "$DBNAME" <<'PY'
import os, struct, sys
store, who, port, db = sys.argv[1:]
time = ",".join("%02x" % b for b in struct.pack("<d", 2 / 24))
lines = ["Windows Registry Editor Version 5.00", "", "[HKEY_CURRENT_USER\\Software\\Myrkat\\Korvan]",
         '"Count"=dword:00000001', '"Auto Start"=dword:00000000',
         '"Connection"="Provider=PostgreSQL;Data Source=127.0.0.1:%s;Initial Catalog=%s;User ID=%s"' % (port, db, who),
         '"Project0"="Design"', '"Time0"=hex:' + time, '"Description0"="%s\'s sketches"' % who,
         '"SectionId0"=dword:00000001', '"ActivityId0"=dword:00000001']
os.makedirs(os.path.dirname(store), exist_ok=True)
open(store, "w", encoding="utf-8").write("\r\n".join(lines) + "\r\n")
PY
}

person_store alice
export PGPASSWORD=alice-secret
start_korvan
menu o
wait_window 'Korvan 1.5' >/dev/null
keys alt+v
wait_window 'Summary' >/dev/null
shot summary
keys Return
wait_window 'Confirm' >/dev/null
keys Return
wait_window 'Information' >/dev/null
keys Return
wait_no_window 'Summary'
[ "$(as boss "SELECT u.Login || ' ' || p.Vytvoril || ' ' || p.Cas FROM SEP_ProvedenaPrace p
             JOIN SEP_Uzivatel u USING (id_UzivatelSEP)")" = "alice alice 2" ] ||
    fail "not booked in alice's name: $(as boss 'SELECT * FROM SEP_ProvedenaPrace')"
menu x
wait_korvan_exit
[ "$KORVAN_STATUS" = 0 ] || fail "exit status $KORVAN_STATUS"

person_store bob
export PGPASSWORD=bob-secret
start_korvan
menu o
wait_window 'Korvan 1.5' >/dev/null
keys alt+d
wait_window 'Database' >/dev/null
shot bobs-records
keys alt+e
wait_window 'Export data' >/dev/null
keys ctrl+a
typed "$WORK/bob.csv"
keys Return
wait_window 'Export' >/dev/null
keys Return
[ "$(wc -l <"$WORK/bob.csv")" = 1 ] || fail "bob's export holds others' records: $(cat "$WORK/bob.csv")"
keys Escape
menu x
wait_korvan_exit
[ "$KORVAN_STATUS" = 0 ] || fail "exit status $KORVAN_STATUS"
[ "$(as bob 'SELECT COUNT(*) FROM SEP_ProvedenaPrace')" = 0 ] || fail "bob sees alice's record"
admin postgres "DROP DATABASE $DBNAME WITH (FORCE)" >/dev/null
echo "e2e_team: ok"
