#!/usr/bin/env bash
# Starts the simulated unit on a pseudo-terminal, then the program set to that port.
set -euo pipefail
build=${1:-build}
log="$build/plovan-sim.log"

"$build/src/sim/plovan-sim" > "$log" 2>&1 &
sim=$!
trap 'kill $sim 2>/dev/null || true' EXIT

port=""
for _ in $(seq 50); do
  port=$(head -n 1 "$log" 2>/dev/null || true)
  [ -n "$port" ] && break
  sleep 0.1
done
if [ -z "$port" ]; then
  echo "The simulated unit did not start; see $log" >&2
  exit 1
fi
echo "Simulated unit on $port; its log: tail -f $log"
"$build/src/app/plovan" --port "$port"
