#!/usr/bin/env bash
# Usage: scripts/screenshot.sh [BUILD_DIR] [OUT.png]
#
# Starts the window against the simulated unit (scripts/run.sh) on a private
# Xvfb display and saves the window as OUT.png (default
# data/screenshots/main-window.png, the picture the AppStream metadata shows).
# Needs xvfb, xdotool and imagemagick, which no tier installs.
set -euo pipefail
build=${1:-build}
out=${2:-data/screenshots/main-window.png}
for tool in Xvfb xdotool import; do
  command -v "$tool" > /dev/null || { echo "$0: $tool is missing (apt-get install xvfb xdotool imagemagick)" >&2; exit 1; }
done
display=:${SCREENSHOT_DISPLAY:-97}
Xvfb "$display" -screen 0 1600x1000x24 > /dev/null 2>&1 &
xvfb=$!
run=""
trap '[ -z "$run" ] || kill "$run" 2>/dev/null; kill "$xvfb" 2>/dev/null || true' EXIT
export DISPLAY=$display
sleep 1
"$(dirname "$0")/run.sh" "$build" > /dev/null 2>&1 &
run=$!
for _ in $(seq 60); do
  window=$(xdotool search --onlyvisible --name '^Velmar Plovan' 2> /dev/null | head -n1 || true)
  [ -n "$window" ] && break
  sleep 0.5
done
[ -n "$window" ] || { echo "$0: the window did not show" >&2; exit 1; }
sleep 2 # its first paint
mkdir -p "$(dirname "$out")"
import -window "$window" "$out"
echo "$out"
