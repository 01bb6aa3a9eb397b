#!/usr/bin/env bash
# Installs the Debian packages the project needs; quiet when all are there.
# With --list, prints the package names one per line and installs nothing
# (scripts/check-deps.sh reads the list from here).
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  qt6-base-dev qt6-serialport-dev qt6-charts-dev libqt6opengl6-dev libgl-dev
  libboost-dev
  libftdi1-dev
  locales
  g++-mingw-w64-x86-64 mingw-w64-tools wine wine64 libwine-dev
  help2man dpkg-dev file
  clang
  python3-pyvisa python3-pyvisa-py lxi-tools
  libavahi-client-dev
)

if [ "${1:-}" = "--list" ]; then
  printf '%s\n' "${packages[@]}"
  exit 0
elif [ $# -gt 0 ]; then
  echo "usage: $0 [--list]" >&2
  exit 2
fi

missing=()
for p in "${packages[@]}"; do
  # Read whole before matching, so that no early-closed pipe can report a
  # package as missing and set off an install.
  status=$(dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null || true)
  case $status in *"install ok installed"*) ;; *) missing+=("$p") ;; esac
done

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  log=$(mktemp)
  # apt and debconf talk on both streams; show it only when something fails.
  if ! { $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq &&
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"; } > "$log" 2>&1; then
    cat "$log" >&2
    rm -f "$log"
    echo "deps.sh: installing ${missing[*]} failed" >&2
    exit 1
  fi
  rm -f "$log"
fi

# Number formatting is tested under a German locale.
locales=$(locale -a 2>/dev/null || true)
if ! grep -qi '^de_DE\.utf-\?8$' <<< "$locales"; then
  echo "Generating the de_DE.UTF-8 locale"
  if [ -f /etc/locale.gen ] && grep -q 'de_DE.UTF-8' /etc/locale.gen; then
    $sudo sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  else
    echo 'de_DE.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen > /dev/null
  fi
  $sudo locale-gen > /dev/null
fi
