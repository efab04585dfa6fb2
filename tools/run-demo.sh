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

echo "ov run: OvServices (Ctrl-C stops everything)"
"$BUILD/src/app/ovservices" --headless &
pids+=($!)
wait "${pids[-1]}"
