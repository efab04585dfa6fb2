#!/usr/bin/env bash
# The main job on the embedded defaults (./ov run): the web API on 127.0.0.1:8000 and the device
# emulator with one demo device, both in the background, then the service in the foreground.
# Everything stops when the service does.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${1:?usage: run-demo.sh BUILD_DIR}
STATE=${OV_RUN_STATE:-$ROOT/build/run-state}
mkdir -p "$STATE"

pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
}
trap cleanup EXIT INT TERM

echo "ov run: web API on http://127.0.0.1:8000/ (log: $STATE/ovcloud.log)"
"$ROOT/server/serve.sh" --port 8000 --state "$STATE/ovcloud" >"$STATE/ovcloud.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do
    curl -s -o /dev/null -I http://127.0.0.1:8000/ && break
    sleep 0.2
done

export OV_DEVSIM_SOCKET=${OV_DEVSIM_SOCKET:-$STATE/ovdevsim.sock}
DEVSIM="$BUILD/tools/ovdevsim/ovdevsim"
echo "ov run: device emulator on $OV_DEVSIM_SOCKET (log: $STATE/ovdevsim.log)"
"$DEVSIM" --socket "$OV_DEVSIM_SOCKET" serve --state-dir "$STATE/ovdevsim" >"$STATE/ovdevsim.log" 2>&1 &
pids+=($!)
# The demo device records for athlete 101 of the web API's demo account; --reuse keeps the device
# (and what it recorded) that an earlier run left in the emulator's state.
"$DEVSIM" --socket "$OV_DEVSIM_SOCKET" --wait 10 plug --serial OVR0000000000101 --sessions 3 \
    --pages 120,200,80 --user 101 --default-user 101 --reuse >/dev/null
"$DEVSIM" --socket "$OV_DEVSIM_SOCKET" list

# A display to show the window on, found before the service's own home and runtime folder below
# hide the user's: the Wayland socket is named relative to the user's XDG_RUNTIME_DIR, and the X
# cookie sits in the user's home. The session bus (for the tray icon) too, where no address names it.
user_runtime=${XDG_RUNTIME_DIR:-/run/user/$(id -u)}
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ] && [ -S "$user_runtime/bus" ]; then
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$user_runtime/bus"
fi
mode=--headless
if [ -n "${WAYLAND_DISPLAY:-}" ]; then
    case $WAYLAND_DISPLAY in
        /*) ;;
        *) export WAYLAND_DISPLAY="$user_runtime/$WAYLAND_DISPLAY" ;;
    esac
    mode=
fi
if [ -n "${DISPLAY:-}" ]; then
    export XAUTHORITY=${XAUTHORITY:-$HOME/.Xauthority}
    mode=
fi

# The service gets a home of its own under the run state: its settings, store, logs, autostart
# entry and control socket stay out of the user's own.
export HOME="$STATE/home" XDG_RUNTIME_DIR="$STATE/run"
export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share" XDG_STATE_HOME="$HOME/.local/state"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
OVSERVICES="$BUILD/src/app/ovservices"

if [ -n "$mode" ]; then
    echo "ov run: OvServices --headless, no display (log: $XDG_STATE_HOME/ovservices/Logs; Ctrl-C stops everything)"
else
    echo "ov run: OvServices with its window and tray icon (log: $XDG_STATE_HOME/ovservices/Logs; Ctrl-C stops everything)"
fi
# shellcheck disable=SC2086  # $mode is one option or none
"$OVSERVICES" $mode 2>"$STATE/ovservices.log" &
pids+=($!)
for _ in $(seq 1 100); do
    "$OVSERVICES" status >/dev/null 2>&1 && break
    sleep 0.2
done
# A home kept from an earlier run is signed in already, and a second sign-in is refused.
if "$OVSERVICES" status --json | grep -Eq '"user": ?null'; then
    printf '%s\n' orvane-demo | "$OVSERVICES" sign-in coach
fi

watch="env XDG_RUNTIME_DIR=$XDG_RUNTIME_DIR $OVSERVICES"
devsim="$DEVSIM --socket $OV_DEVSIM_SOCKET"
cat <<TXT

Watch it:          $watch status          (--json for the documented keys)
Sync again:        $watch sync [SERIAL]
Plug a device:     $devsim plug --sessions 2 --pages 3000,12000 --user 102
Unplug, replug:    $devsim unplug SERIAL; $devsim replug SERIAL
More (faults, recovery mode): docs/devsim.md. The web API's dashboard: http://127.0.0.1:8000/dashboard/
TXT
wait "${pids[-1]}"
