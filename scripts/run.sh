#!/usr/bin/env bash
# Starts the simulated unit (a pseudo-terminal and its USB socket), then the
# program set to both.
set -euo pipefail
build=${1:-build}
log="$build/plovan-sim.log"

"$build/src/sim/plovan-sim" > "$log" 2>&1 &
sim=$!
trap 'kill $sim 2>/dev/null || true' EXIT

# Line 1 is the port, line 2 the USB socket; both are there before the log starts.
port=""
usb=""
for _ in $(seq 50); do
  port=$(sed -n 1p "$log" 2>/dev/null || true)
  usb=$(sed -n 2p "$log" 2>/dev/null || true)
  [ -n "$port" ] && [ -n "$usb" ] && break
  sleep 0.1
done
if [ -z "$port" ] || [ -z "$usb" ]; then
  echo "The simulated unit did not start; see $log" >&2
  exit 1
fi
echo "Simulated unit on $port, its USB device on $usb; its log: tail -f $log"
"$build/src/app/plovan" --port "$port" --usb-device "sim:$usb"
