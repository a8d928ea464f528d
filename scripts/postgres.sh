# A throw-away PostgreSQL cluster on 127.0.0.1 for the database tests. Exports
# KORVAN_TEST_PG (a connection string of the program's own form) and PG_PORT. The server
# speaks TLS as well as plain connections, with a self-signed certificate made at start:
# KORVAN_TEST_PG_ROOTCERT is that certificate (the root to verify the server against), and
# KORVAN_TEST_PG_OTHER_ROOTCERT one that did not sign it.

# A port nobody listens on; KORVAN_PG_PORT chooses one.
free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

start_postgres() {
    local bin
    bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1)
    PG_PORT="${KORVAN_PG_PORT:-$(free_port)}"
    PG_DATA="$(mktemp -d /tmp/korvan-pg.XXXXXX)"
    chown postgres:postgres "$PG_DATA" 2>/dev/null || true
    chmod 700 "$PG_DATA"
    local as=()
    [ "$(id -u)" -eq 0 ] && as=(runuser -u postgres --)
    "${as[@]}" "$bin/initdb" -D "$PG_DATA" -A trust -U postgres -E UTF8 --locale=C.UTF-8 \
        --no-sync >/dev/null || return 1
    # The program's user logs in with its password, as on a real server (a wrong one must
    # fail); the administrator of this throw-away cluster needs none.
    printf '%s\n' 'local all all trust' 'host all postgres 127.0.0.1/32 trust' \
        'host all all 127.0.0.1/32 scram-sha-256' | "${as[@]}" tee "$PG_DATA/pg_hba.conf" >/dev/null
    # Elliptic-curve keys: made in milliseconds, offline. The name is the address the tests
    # connect to, so that verify-full checks it for real.
    local name
    for name in server other-root; do
        openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
            -subj "/CN=127.0.0.1" -addext "subjectAltName=IP:127.0.0.1,DNS:localhost" \
            -keyout "$PG_DATA/$name.key" -out "$PG_DATA/$name.crt" 2>/dev/null || return 1
    done
    chmod 600 "$PG_DATA"/*.key
    chown postgres:postgres "$PG_DATA"/server.* 2>/dev/null || true
    local ssl="-c ssl=on -c ssl_cert_file=$PG_DATA/server.crt -c ssl_key_file=$PG_DATA/server.key"
    "${as[@]}" "$bin/pg_ctl" -D "$PG_DATA" -l "$PG_DATA/server.log" -w -t 30 \
        -o "-c listen_addresses=127.0.0.1 -p $PG_PORT -k $PG_DATA -c fsync=off $ssl" start >/dev/null ||
        { cat "$PG_DATA/server.log"; return 1; }
    psql -q -h 127.0.0.1 -p "$PG_PORT" -U postgres -v ON_ERROR_STOP=1 \
        -c "CREATE ROLE korvan LOGIN PASSWORD 'korvan-test' CREATEDB" >/dev/null || return 1
    export PG_BIN="$bin" PG_DATA PG_PORT
    export KORVAN_TEST_PG="Provider=PostgreSQL;Data Source=127.0.0.1:$PG_PORT;User ID=korvan;Password=korvan-test;Initial Catalog=postgres"
    export KORVAN_TEST_PG_ADMIN="host=127.0.0.1 port=$PG_PORT user=postgres"
    export KORVAN_TEST_PG_ROOTCERT="$PG_DATA/server.crt"
    export KORVAN_TEST_PG_OTHER_ROOTCERT="$PG_DATA/other-root.crt"
}

stop_postgres() {
    [ -n "${PG_DATA:-}" ] || return 0
    local as=()
    [ "$(id -u)" -eq 0 ] && as=(runuser -u postgres --)
    "${as[@]}" "$PG_BIN/pg_ctl" -D "$PG_DATA" -m fast -w stop >/dev/null 2>&1 || true
    rm -rf "$PG_DATA"
}
