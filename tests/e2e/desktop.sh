# Helpers for end-to-end scenarios: a private X display with a window manager and a tray
# host, the program started with clean per-user folders, and screenshots of each step.

E2E_HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

fail() {
    echo "FAIL: $*" >&2
    shot failure || true
    # What the program said, for a failure that does not show on the screen.
    [ -n "${KORVAN_LOG:-}" ] && [ -f "$KORVAN_LOG" ] && tail -20 "$KORVAN_LOG" >&2
    exit 1
}

start_desktop() {
    SCENARIO="$1"
    WORK="$(mktemp -d "/tmp/korvan-$SCENARIO.XXXXXX")"
    ARTIFACTS="${KORVAN_E2E_ARTIFACTS:-$PWD/e2e-artifacts}/$SCENARIO"
    rm -rf "$ARTIFACTS"
    mkdir -p "$ARTIFACTS" "$WORK/config" "$WORK/data" "$WORK/runtime"
    chmod 700 "$WORK/runtime"
    export XDG_CONFIG_HOME="$WORK/config" XDG_DATA_HOME="$WORK/data" XDG_RUNTIME_DIR="$WORK/runtime"
    export QT_QPA_PLATFORM=xcb
    # The program under test, also as the client of its running copy.
    K="${KORVAN_E2E_BINARY:-$KORVAN}"
    STORE="$XDG_CONFIG_HOME/Myrkat/Korvan.reg"
    PIDS=()
    trap end_scenario EXIT
    # The server picks a free display itself and writes its number once it accepts
    # connections, so two runs on one machine never share a display.
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$WORK/display" >"$WORK/xvfb.log" 2>&1 &
    PIDS+=($!)
    wait_for "the X server" grep -q '^[0-9]' "$WORK/display"
    export DISPLAY=":$(head -1 "$WORK/display")"
    xready server || fail "X server not ready: $(cat "$WORK/xvfb.log")"
    openbox >"$WORK/openbox.log" 2>&1 &
    PIDS+=($!)
    xready wm || fail "window manager not ready: $(cat "$WORK/openbox.log")"
    # A private session bus: the program's control interface and the item host of one
    # scenario never meet another's. dbus-daemon forks once it listens.
    local bus
    bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1) || fail "no session bus"
    export DBUS_SESSION_BUS_ADDRESS="$(head -1 <<<"$bus")"
    PIDS+=("$(tail -1 <<<"$bus")")
    case "${2:-xembed}" in
    item) start_item_host ;;
    # No notification area yet: the panel (start_panel) comes later, as at a log-in where
    # the program starts first; the notification service is there.
    item-later) prepare_item_host; start_notification_service ;;
    none) ;;
    *) start_tray_host ;;
    esac
}

# Whether a name has an owner on the session bus.
bus_name_owned() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
        org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q 'boolean true'
}

watcher_property() {
    dbus-send --session --print-reply --dest=org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
        org.freedesktop.DBus.Properties.Get string:org.kde.StatusNotifierWatcher "string:$1" 2>/dev/null
}
host_registered() { watcher_property IsStatusNotifierHostRegistered | grep -q 'boolean true'; }

# XFCE's own panel holding only its status tray (a StatusNotifierItem host, top left), and
# dunst as the notification service; a left click on a notification invokes its action.
start_item_host() {
    prepare_item_host
    start_panel
    start_notification_service
}

# The panel's and dunst's settings.
prepare_item_host() {
    local conf="$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml"
    mkdir -p "$conf" "$XDG_CONFIG_HOME/dunst"
    cat >"$conf/xfce4-panel.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="32"/>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="systray"/>
  </property>
</channel>
XML
    printf '[global]\n    mouse_left_click = do_action, close_current\n    origin = top-right\n    offset = 10x50\n' \
        >"$XDG_CONFIG_HOME/dunst/dunstrc"
    ITEM_HOST=1
}

# Starts the panel (again) and waits until its item host is registered.
start_panel() {
    xfce4-panel >>"$WORK/panel.log" 2>&1 &
    PANEL_PID=$!
    PIDS+=($!)
    wait_for "the item host" host_registered
}

# Ends the panel, and with it its watcher, its item host and its XEmbed tray.
stop_panel() {
    kill "$PANEL_PID"
    wait "$PANEL_PID" 2>/dev/null || true
    watcher_gone() { ! bus_name_owned org.kde.StatusNotifierWatcher; }
    wait_for "the panel to end" watcher_gone
}

start_notification_service() {
    dunst -config "$XDG_CONFIG_HOME/dunst/dunstrc" >"$WORK/dunst.log" 2>&1 &
    PIDS+=($!)
    wait_for "the notification service" bus_name_owned org.freedesktop.Notifications
}

# Starts trayer and waits until it owns the tray selection.
start_tray_host() {
    trayer --edge top --align right --widthtype pixel --width 200 --height 32 \
        --SetDockType false >"$WORK/trayer.log" 2>&1 &
    PIDS+=($!)
    TRAY_PID=$!
    xready selection _NET_SYSTEM_TRAY_S0 || fail "tray host not ready: $(cat "$WORK/trayer.log")"
}

# Writes the store before the program starts: the given tasks, with no time yet, after
# the given other values (names as the store writes them, quotes escaped).
#   write_store '"Auto Reminder"=dword:00000001' -- Writing Meetings
write_store() {
    local lines=() i=0
    while [ $# -gt 0 ] && [ "$1" != -- ]; do lines+=("$1"); shift; done
    [ $# -gt 0 ] && shift
    lines+=("$(printf '"Count"=dword:%08x' $#)")
    for name in "$@"; do
        lines+=("\"Project$i\"=\"$name\"" "\"Time$i\"=hex:00,00,00,00,00,00,00,00")
        i=$((i + 1))
    done
    mkdir -p "$(dirname "$STORE")"
    printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
        '[HKEY_CURRENT_USER\Software\Myrkat\Korvan]' "${lines[@]}" >"$STORE"
}

xready() { python3 "$E2E_HERE/xready.py" "$@"; }

# Polls a command every 20 ms until it succeeds; gives up after 20 s.
wait_for() {
    local what="$1"; shift
    for _ in $(seq 1000); do "$@" 2>/dev/null && return 0; sleep 0.02; done
    fail "$what not ready"
}

# The same for what the program does by its own clock (a reminder after a minute): polls
# every 100 ms for at most 120 s.
wait_for_long() {
    local what="$1"; shift
    for _ in $(seq 1200); do "$@" 2>/dev/null && return 0; sleep 0.1; done
    fail "$what not ready"
}

# Every process the scenario started, whoever its parent is now: the program, its second
# copies and clients, the desktop, and what they started in turn (a panel's plug-ins, what
# the bus started), found by the runtime folder they all inherited.
scenario_processes() {
    local environ pid value
    for environ in /proc/[0-9]*/environ; do
        pid="${environ#/proc/}"; pid="${pid%/environ}"
        [ "$pid" = "$$" ] || [ "$pid" = "$BASHPID" ] && continue
        # Others' processes cannot be read, and a process may end while it is looked at.
        { exec 4<"$environ"; } 2>/dev/null || continue
        while IFS= read -r -d '' value <&4; do
            [ "$value" = "XDG_RUNTIME_DIR=$WORK/runtime" ] && { echo "$pid"; break; }
        done
        exec 4<&-
    done
}

# Ends everything the scenario started and waits until each has ended before the folder
# they write in goes: the program saves on its way out, a panel keeps its settings, and
# a folder removed under them fails the run afterwards. Whatever has not ended after 10 s
# of asking is killed.
stop_desktop() {
    local status=0 pids
    [ -n "${KORVAN_PID:-}" ] && kill "$KORVAN_PID" 2>/dev/null || true
    for ((i=${#PIDS[@]}-1; i>=0; i--)); do kill "${PIDS[i]}" 2>/dev/null || true; done
    mapfile -t pids < <(scenario_processes)
    [ "${#pids[@]}" -gt 0 ] && kill "${pids[@]}" 2>/dev/null
    wait 2>/dev/null
    for _ in $(seq 500); do
        mapfile -t pids < <(scenario_processes)
        [ "${#pids[@]}" = 0 ] && break
        sleep 0.02
    done
    if [ "${#pids[@]}" -gt 0 ]; then
        echo "FAIL: still running after the scenario: ${pids[*]}" >&2
        kill -KILL "${pids[@]}" 2>/dev/null
        wait 2>/dev/null
        status=1
    fi
    rm -rf "$WORK" || { echo "FAIL: the scenario's folder could not be removed" >&2; status=1; }
    return "$status"
}

# The end of a scenario, passed or failed: a teardown that went wrong fails it too.
end_scenario() {
    local status=$?
    stop_desktop || status=1
    exit "$status"
}

STEP=0
shot() {
    STEP=$((STEP+1))
    import -window root "$ARTIFACTS/$(printf %02d $STEP)-$1.png" 2>/dev/null || true
}

# Starts the program and waits until its icon shows: embedded in the XEmbed tray, or
# registered with the item host (whose only icon then sits at the panel's left end).
start_korvan() {
    [ -n "${ITEM_HOST:-}" ] && { start_korvan_item "$@"; return; }
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

click_icon() { xdotool mousemove "$ICON_X" "$ICON_Y" click "$1"; }

wait_korvan_exit() {
    for _ in $(seq 1000); do kill -0 "$KORVAN_PID" 2>/dev/null || break; sleep 0.02; done
    kill -0 "$KORVAN_PID" 2>/dev/null && fail "program still running"
    set +e; wait "$KORVAN_PID"; KORVAN_STATUS=$?; set -e
    KORVAN_PID=
}

visible_window() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 || true; }
window_shown() { [ -n "$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null)" ]; }
window_gone() { ! window_shown "$1"; }
window_active() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$1" ]; }

# Sets WINDOW_ID to the first visible window with this exact name. xdotool fails when a
# window vanishes while it walks the tree: that counts as not found, and the poll goes on.
find_window() {
    WINDOW_ID=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1)
    [ -n "$WINDOW_ID" ]
}

# Waits until a visible window with this exact name exists and is active; prints its id.
wait_window() {
    wait_for "window '$1'" find_window "$1"
    local id="$WINDOW_ID"
    xdotool windowactivate "$id" 2>/dev/null || true
    wait_for "window '$1' in front" window_active "$id"
    echo "$id"
}

wait_no_window() { wait_for "window '$1' to close" window_gone "$1"; }

# The program's pop-up menus: shown override-redirect windows of its class other than the
# tray icon itself (which carries the KDE override type).
popup_windows() {
    local w
    for w in $(xdotool search --onlyvisible --class korvan 2>/dev/null); do
        xwininfo -id "$w" 2>/dev/null | grep -q 'Override Redirect State: yes' || continue
        xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _KDE_NET_WM_WINDOW_TYPE_OVERRIDE ||
            echo "$w"
    done
}
popup_shown() { [ -n "$(popup_windows)" ]; }
no_popup() { [ -z "$(popup_windows)" ]; }

# Opens the tray menu, presses keys in it and waits until it has closed.
menu() {
    click_icon 3
    wait_for "the tray menu" popup_shown
    xdotool key "$@"
    wait_for "the tray menu to close" no_popup
}

keys() { xdotool key --delay 60 "$@"; }
typed() { xdotool type --delay 20 "$1"; }

item_registered() { watcher_property RegisteredStatusNotifierItems | grep -q StatusNotifierItem; }

start_korvan_item() {
    KORVAN="${KORVAN_E2E_BINARY:-$KORVAN}"
    KORVAN_LOG="$WORK/korvan.$STEP.log"
    "$KORVAN" "$@" >"$KORVAN_LOG" 2>&1 &
    KORVAN_PID=$!
    wait_for "the item of the program" item_registered
    locate_item
    shot started
}

# Where the item's icon is: the only one, at the panel's left end.
locate_item() {
    panel_found() { PANEL=$(xdotool search --onlyvisible --classname xfce4-panel 2>/dev/null | head -1); [ -n "$PANEL" ]; }
    wait_for "the panel window" panel_found
    eval "$(xdotool getwindowgeometry --shell "$PANEL")"
    ICON_X=$((X + 16)); ICON_Y=$((Y + HEIGHT / 2))
}

# Starts the program while no notification area is there, and waits until it answers on
# the bus (its start is over).
start_korvan_without_tray() {
    KORVAN="${KORVAN_E2E_BINARY:-$KORVAN}"
    KORVAN_LOG="$WORK/korvan.$STEP.log"
    "$KORVAN" "$@" >"$KORVAN_LOG" 2>&1 &
    KORVAN_PID=$!
    wait_for "the program on the bus" bus_name_owned org.myrkat.Korvan
    shot started
}

# The bus name of the program's item, as the watcher lists it.
item_service() {
    watcher_property RegisteredStatusNotifierItems | grep -o 'org\.kde\.StatusNotifierItem-[0-9-]*' | head -1
}

# The seconds a task has, as the running copy lists it.
seconds_of() {
    local t h m s
    t=$("$K" --list | awk -F'\t' -v n="$1" '$3 == n { print $1 }')
    [ -n "$t" ] || fail "no task $1 listed"
    IFS=: read -r h m s <<<"$t"
    echo $((10#$h * 3600 + 10#$m * 60 + 10#$s))
}

# The item host's menu windows belong to the process of its tray plug-in: counted before a
# click (note_panel_windows), a menu shows as one more.
panel_windows() { xdotool search --onlyvisible --classname wrapper-2.0 2>/dev/null | wc -l; }
note_panel_windows() { PANEL_WINDOWS=$(panel_windows); }
host_menu_shown() { [ "$(panel_windows)" -gt "$PANEL_WINDOWS" ]; }
host_menu_gone() { [ "$(panel_windows)" -le "$PANEL_WINDOWS" ]; }
