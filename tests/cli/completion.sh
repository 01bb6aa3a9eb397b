#!/usr/bin/env bash
# Usage: completion.sh COMPLETION_FILE
# Sources plovanctl's generated bash completion and checks what it offers for
# each command line below (the cursor at its end), in a folder of sample files.
set -u
source "$1" || exit 1
complete -p plovanctl > /dev/null || { echo "FAIL: no completion registered for plovanctl"; exit 1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1
touch image.dat 'table one.txt'
mkdir sub

failed=0
# command line | the candidates, sorted, joined by |
while IFS='|' read -r line expected; do
  read -ra COMP_WORDS <<< "$line"
  [[ $line == *' ' ]] && COMP_WORDS+=('')
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _plovanctl
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd'|')
  if [ "$got" != "$expected" ]; then
    echo "FAIL: '$line' offers '$got', expected '$expected'"
    failed=1
  fi
done << 'CASES'
plovanctl lo|load
plovanctl load i|image
plovanctl load |image|lut|multichirp|raw|test-lut
plovanctl --port /dev/ttyS0 lo|load
plovanctl --sim load image --u|--usb|--usb-device
plovanctl load image im|image.dat
plovanctl load image ta|table one.txt
plovanctl --sim check --kind m|multichirp
plovanctl chirp 1 2 3 --unit m|ms
plovanctl --amp-tracking o|off|on
plovanctl cal s|set|show
plovanctl cal play image.dat |
plovanctl channels a|all
plovanctl batch s|sub
plovanctl sim --d|--delay
plovanctl sim --po|
plovanctl serve --transfer-dir s|sub
plovanctl tune 10 --h|--help|--hires
plovanctl --settings-dir s|sub
CASES
exit $failed
