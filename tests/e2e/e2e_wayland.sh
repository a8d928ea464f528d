#!/bin/bash
# Korvan on Wayland (weston, headless) with a private session bus, the accessibility bus and
# our own status-notifier watcher and host (item_host.py):
#   no_host    no host: the main window shows after a few seconds; "&Close" sends it to the
#              task bar, and "korvan --show" brings it back, as often as asked;
#   host       a host before the start: the item registers from Korvan's process, its
#              activation opens the main window, "&Close" hides it and "--show" shows it,
#              also after the host has gone;
#   late_host  a host after the start: the item follows it and its activation opens the
#              window; "--show" works all the while.
# What the user sees is asked of the compositor (its scene graph), what is stored of the
# running copy and of the store; buttons are pressed over AT-SPI, as assistive tools do.
set -euo pipefail
KORVAN="$1"
SCENARIO="$2"
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/desktop.sh"
# Needs the icon to follow a host that comes after the start; 0 skips that part only.
LATE_HOST="${KORVAN_E2E_LATE_HOST:-1}"

WORK="$(mktemp -d "/tmp/korvan-wayland-$SCENARIO.XXXXXX")"
ARTIFACTS="${KORVAN_E2E_ARTIFACTS:-$PWD/e2e-artifacts}/e2e_wayland_$SCENARIO"
rm -rf "$ARTIFACTS"
mkdir -p "$ARTIFACTS" "$WORK/config" "$WORK/data" "$WORK/runtime"
chmod 700 "$WORK/runtime"
export XDG_CONFIG_HOME="$WORK/config" XDG_DATA_HOME="$WORK/data" XDG_RUNTIME_DIR="$WORK/runtime"
unset DISPLAY
export WAYLAND_DISPLAY=korvan-e2e QT_QPA_PLATFORM=wayland QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
K="${KORVAN_E2E_BINARY:-$KORVAN}"
STORE="$XDG_CONFIG_HOME/Myrkat/Korvan.reg"
PIDS=()
trap end_scenario EXIT
shot() {
    STEP=$((STEP + 1))
    (cd "$WORK" && weston-screenshooter && mv wayland-screenshot-*.png \
        "$ARTIFACTS/$(printf %02d $STEP)-$1.png") >/dev/null 2>&1 || true
}

bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1) || fail "no session bus"
export DBUS_SESSION_BUS_ADDRESS="$(head -1 <<<"$bus")"
PIDS+=("$(tail -1 <<<"$bus")")
/usr/libexec/at-spi-bus-launcher --launch-immediately >"$WORK/atspi.log" 2>&1 &
PIDS+=($!)
wait_for "the accessibility bus" bus_name_owned org.a11y.Bus
weston --backend=headless-backend.so --use-pixman --width=1280 --height=1024 --no-config \
    --socket="$WAYLAND_DISPLAY" --idle-time=0 --debug --log="$WORK/weston.log" >/dev/null 2>&1 &
PIDS+=($!)
scene() { weston-debug scene-graph 2>/dev/null >"$WORK/scene" && grep -q '^Output' "$WORK/scene"; }
shell_ready() { scene && grep -q 'background for output' "$WORK/scene"; }
wait_for "the compositor and its shell" shell_ready
# The main window as the compositor shows it: a top-level window of Korvan's process in one
# of its layers (a minimised or hidden window is in none).
shown() { scene && grep -q "PID $KORVAN_PID, .*top-level window 'Korvan 1.5'" "$WORK/scene"; }
not_shown() { scene && ! grep -q "PID $KORVAN_PID, .*top-level window" "$WORK/scene"; }
press() { "$HERE/press.py" "$KORVAN_PID" "$1" || fail "no button $1 to press"; }
show_again() {
    "$K" --show || fail "--show: exit status $?"
    wait_for "the main window after --show" shown
    shot "$1"
}
close_window() {
    press Close
    wait_for "the main window to go" not_shown
}

start_host() {
    "$HERE/item_host.py" "$WORK/host.log" >>"$WORK/host.err" 2>&1 &
    HOST_PID=$!
    PIDS+=($HOST_PID)
    wait_for "the item host" grep -q '^ready' "$WORK/host.log"
}
item_of_korvan() { grep -q "^item .* $KORVAN_PID\$" "$WORK/host.log"; }
activate_item() {
    local service path
    read -r _ service path _ < <(grep "^item .* $KORVAN_PID\$" "$WORK/host.log" | tail -1)
    dbus-send --session --print-reply --dest="$service" "$path" \
        org.kde.StatusNotifierItem.Activate int32:0 int32:0 >/dev/null || fail "Activate on $service$path"
    wait_for "the main window after the item's activation" shown
    shot activated
}

write_store -- Writing Meetings
[ "$SCENARIO" = host ] && start_host
KORVAN_LOG="$WORK/korvan.log"
"$KORVAN" >"$KORVAN_LOG" 2>&1 &
KORVAN_PID=$!
case "$SCENARIO" in
no_host)
    wait_for "the main window without a tray" shown
    shot window-without-tray
    "$K" --start Writing
    close_window
    show_again shown-again
    close_window
    show_again shown-once-more
    show_again still-shown ;;
host)
    wait_for "the item registered by Korvan" item_of_korvan
    not_shown || fail "the main window shows with a tray"
    "$K" --start Writing
    activate_item
    close_window
    show_again shown-again
    kill "$HOST_PID"
    wait "$HOST_PID" || true
    close_window
    show_again shown-without-host ;;
late_host)
    wait_for "the main window without a tray" shown
    "$K" --start Writing
    close_window
    start_host
    if [ "$LATE_HOST" = 1 ]; then
        wait_for "the item registered with the late host" item_of_korvan
        activate_item
        close_window
    else
        echo "e2e_wayland_late_host: the item following a late host is not checked (KORVAN_E2E_LATE_HOST=0)"
    fi
    show_again shown-with-late-host ;;
*) fail "no scenario $SCENARIO" ;;
esac
"$K" --status | grep -q '^Writing' || fail "Writing no longer runs"
kill -TERM "$KORVAN_PID"
wait_korvan_exit
[ "$KORVAN_STATUS" = 0 ] || fail "exit status $KORVAN_STATUS"
grep -q '"Time1"=hex:00,00,00,00,00,00,00,00' "$STORE" && fail "Writing has no time"
echo "e2e_wayland_$SCENARIO: ok"
