# Helpers for end-to-end scenarios: a private X display with a window manager and a tray
# host, the program started with clean per-user folders, and screenshots of each step.

fail() { echo "FAIL: $*" >&2; shot failure || true; exit 1; }

start_desktop() {
    SCENARIO="$1"
    WORK="$(mktemp -d "/tmp/korvan-$SCENARIO.XXXXXX")"
    ARTIFACTS="${KORVAN_E2E_ARTIFACTS:-$PWD/e2e-artifacts}/$SCENARIO"
    rm -rf "$ARTIFACTS"
    mkdir -p "$ARTIFACTS" "$WORK/config" "$WORK/data" "$WORK/runtime"
    chmod 700 "$WORK/runtime"
    export XDG_CONFIG_HOME="$WORK/config" XDG_DATA_HOME="$WORK/data" XDG_RUNTIME_DIR="$WORK/runtime"
    export QT_QPA_PLATFORM=xcb
    PIDS=()
    trap stop_desktop EXIT
    for n in $(seq 90 140); do
        [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
        PIDS+=($!)
        export DISPLAY=":$n"
        for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.05; done
        xdpyinfo >/dev/null 2>&1 && break
        kill "${PIDS[-1]}" 2>/dev/null || true
        unset 'PIDS[-1]'
    done
    xdpyinfo >/dev/null 2>&1 || fail "no X display"
    openbox >"$WORK/openbox.log" 2>&1 &
    PIDS+=($!)
    # The tray host now and then fails to come up on a fresh display: try again.
    local attempt
    for attempt in 1 2 3; do
        trayer --edge top --align right --widthtype pixel --width 200 --height 32 \
            --SetDockType false >"$WORK/trayer.log" 2>&1 &
        PIDS+=($!)
        for _ in $(seq 100); do xdotool search --classname panel >/dev/null 2>&1 && return 0; sleep 0.05; done
        kill "${PIDS[-1]}" 2>/dev/null || true
        wait "${PIDS[-1]}" 2>/dev/null || true
        unset 'PIDS[-1]'
        echo "tray host did not appear (attempt $attempt): $(cat "$WORK/trayer.log")" >&2
    done
    fail "no tray host"
}

stop_desktop() {
    [ -n "${KORVAN_PID:-}" ] && kill "$KORVAN_PID" 2>/dev/null || true
    for ((i=${#PIDS[@]}-1; i>=0; i--)); do kill "${PIDS[i]}" 2>/dev/null || true; done
    for p in "${PIDS[@]}"; do wait "$p" 2>/dev/null || true; done
    rm -rf "$WORK"
}

STEP=0
shot() {
    STEP=$((STEP+1))
    import -window root "$ARTIFACTS/$(printf %02d $STEP)-$1.png" 2>/dev/null || true
}

# Starts the program and waits until its icon has been embedded in the tray.
start_korvan() {
    KORVAN="${KORVAN_E2E_BINARY:-$KORVAN}"
    KORVAN_LOG="$WORK/korvan.$STEP.log"
    KORVAN_REPORT_TRAY_GEOMETRY="${KORVAN_REPORT_TRAY_GEOMETRY:-1}" "$KORVAN" "$@" >"$KORVAN_LOG" 2>&1 &
    KORVAN_PID=$!
    for _ in $(seq 300); do
        grep -q '^korvan-tray-geometry' "$KORVAN_LOG" && break
        kill -0 "$KORVAN_PID" 2>/dev/null || break
        sleep 0.05
    done
    local geo
    geo=$(grep '^korvan-tray-geometry' "$KORVAN_LOG" | tail -1) || fail "icon not embedded: $(cat "$KORVAN_LOG")"
    read -r _ X Y W H <<<"$geo"
    ICON_X=$((X + W / 2)); ICON_Y=$((Y + H / 2))
    shot started
}

click_icon() {
    xdotool mousemove "$ICON_X" "$ICON_Y"
    sleep 0.2
    xdotool click "$1"
    sleep 0.5
}

wait_korvan_exit() {
    for _ in $(seq 200); do kill -0 "$KORVAN_PID" 2>/dev/null || break; sleep 0.05; done
    kill -0 "$KORVAN_PID" 2>/dev/null && fail "program still running"
    set +e; wait "$KORVAN_PID"; KORVAN_STATUS=$?; set -e
    KORVAN_PID=
}

visible_window() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 || true; }

# Waits until a visible window with this exact name exists; prints its id.
wait_window() {
    local id=""
    for _ in $(seq 200); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1 || true)
        [ -n "$id" ] && break
        sleep 0.05
    done
    [ -n "$id" ] || fail "no window '$1'"
    xdotool windowactivate --sync "$id" 2>/dev/null || true
    sleep 0.2
    echo "$id"
}

wait_no_window() {
    for _ in $(seq 200); do
        [ -z "$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null || true)" ] && return 0
        sleep 0.05
    done
    fail "window '$1' still shown"
}

# Opens the tray menu and presses keys in it.
menu() {
    click_icon 3
    xdotool key "$@"
    sleep 0.4
}

keys() { xdotool key --delay 60 "$@"; sleep 0.3; }
typed() { xdotool type --delay 20 "$1"; sleep 0.2; }
