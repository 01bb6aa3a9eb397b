#!/usr/bin/env bash
# Usage: scripts/deps.sh [TIER]        install what TIER needs (default: test)
#        scripts/deps.sh --list [TIER] print TIER's packages, one per line
#
# Installs the Debian packages the project needs; quiet when all are there.
# The tiers, each including the ones before it:
#   run   build and run the programs (make run)
#   test  build and run every test (make test, make test-locale)
#   ci    the fuzzers, the sanitizer build and the Debian package with its
#         checks (make fuzz, make test-asan, make package)
# scripts/check-deps.sh reads a build's tier from here.
set -euo pipefail

run=(
  cmake g++ make pkg-config
  qt6-base-dev qt6-serialport-dev qt6-charts-dev libqt6opengl6-dev libgl-dev
  libboost-dev
  libftdi1-dev
  # The window's X11 platform plugin, which no library of it names.
  qt6-qpa-plugins
  # The remote server's mDNS announcement (Avahi's client, loaded at run time).
  libavahi-client-dev
)
test=(
  # TARSEL.OCX is cross-built and tested under Wine.
  g++-mingw-w64-x86-64 mingw-w64-tools wine wine64 libwine-dev
  # The remote interface, driven by PyVISA and lxi-tools.
  python3-pyvisa python3-pyvisa-py lxi-tools
  # Number formatting is tested under a German locale.
  locales
)
ci=(
  # The fuzzers.
  clang
  # The package: man pages, dpkg-shlibdeps (which needs file), its checks.
  help2man dpkg-dev file lintian appstream
)

usage() {
  echo "usage: $0 [--list] [run|test|ci]" >&2
  exit 2
}

list=""
if [ "${1:-}" = "--list" ]; then
  list=1
  shift
fi
tier=${1:-test}
[ $# -le 1 ] || usage
case $tier in
  run) packages=("${run[@]}") ;;
  test) packages=("${run[@]}" "${test[@]}") ;;
  ci) packages=("${run[@]}" "${test[@]}" "${ci[@]}") ;;
  *) usage ;;
esac

if [ -n "$list" ]; then
  printf '%s\n' "${packages[@]}"
  exit 0
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
  echo "Installing (${tier}): ${missing[*]}"
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

[ "$tier" != run ] || exit 0
# The German locale the tests use.
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
