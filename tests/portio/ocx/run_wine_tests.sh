#!/bin/sh
# Usage: run_wine_tests.sh OCX_DIR SOURCE_DIR
# Registers the test build of TARSEL.OCX in a fresh headless Wine prefix
# inside OCX_DIR and runs the C++ host and the VBScript against its ports in
# memory; then registers the released control, checks that it uses the real
# ports even with TARSEL_PORTS set, checks the registry, unregisters the
# control and checks that its entries are gone.
set -eu
dir=$1
src=$2
export WINEPREFIX="$dir/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
failed=0
fail() {
  echo "FAIL: $*"
  failed=1
}
# Prints a registry key. Under load Wine's reg tool now and then prints
# nothing for a key that is there; an empty answer is asked again.
query() {
  for try in 1 2 3; do
    out=$(wine reg query "$@" 2> /dev/null | tr -d '\r')
    [ -n "$out" ] && break
    sleep 1
  done
  printf '%s\n' "$out"
}
# Runs a Windows program and shows its output; its exit status is the program's.
run() {
  status=0
  "$@" > "$dir/wine-output.txt" 2>&1 || status=$?
  tr -d '\r' < "$dir/wine-output.txt"
  return $status
}

rm -rf "$WINEPREFIX"
wineboot -i > /dev/null 2>&1 || true

# The test build (test/TARSEL.OCX) takes ports in memory from TARSEL_PORTS.
# Seeded ports: 0x300 = F0, 0x302 = FFFF, 0x310 = AB00.
wine regsvr32 /s "$dir/test/TARSEL.OCX" || fail "regsvr32, test build"
run env TARSEL_PORTS="mem,0x300=0xF0,0x302=0xFFFF,0x310=0xAB00" wine "$dir/tarsel_host.exe" mem || fail "host, memory ports"
vbs=$(winepath -w "$src/tests/portio/ocx/tarsel_test.vbs" 2> /dev/null)
run env TARSEL_PORTS="mem,0x300=0xF0" wine cscript //nologo "$vbs" || fail "VBScript"
wine regsvr32 /u /s "$dir/test/TARSEL.OCX" || fail "regsvr32 /u, test build"

# The released control reaches the processor's ports whatever its host's
# environment says: under Wine every access is denied.
wine regsvr32 /s "$dir/TARSEL.OCX" || fail "regsvr32"
run wine "$dir/tarsel_host.exe" real || fail "host, real ports"
run env TARSEL_PORTS="mem,0x378=0xF0" wine "$dir/tarsel_host.exe" real || fail "released control honours TARSEL_PORTS"

clsid=$(query 'HKCR\TARSEL.TarselCtrl.1\CLSID' | grep -o '{[^}]*}' || true)
page=$(query 'HKCR\TARSEL.TarselPropPage.1\CLSID' | grep -o '{[^}]*}' || true)
[ -n "$clsid" ] || fail "ProgID TARSEL.TarselCtrl.1"
[ -n "$page" ] || fail "ProgID TARSEL.TarselPropPage.1"
key="HKCR\\CLSID\\$clsid"
# The control's keys are read in one dump and the checks look into it.
tree="$dir/wine-registry.txt"
query "$key" /s > "$tree"
# Prints the values of one key of the dump: values SUBKEY
values() { k="HKEY_CLASSES_ROOT\\CLSID\\$clsid$1" awk '/^HKEY_/ { on = ($0 == ENVIRON["k"]); next } on' "$tree"; }
values '\InprocServer32' | grep -q 'ThreadingModel *REG_SZ *Apartment' || fail "ThreadingModel Apartment"
values '\InprocServer32' | grep -qi 'TARSEL.OCX' || fail "InprocServer32"
values '\MiscStatus\1' | grep -q 'REG_SZ *132497$' || fail "MiscStatus 132497"
values '\ToolboxBitmap32' | grep -qi 'TARSEL.OCX, 1$' || fail "ToolboxBitmap32"
values '\Version' | grep -q 'REG_SZ *1.0$' || fail "Version 1.0"
grep -qx "HKEY_CLASSES_ROOT.CLSID.$clsid.Control" "$tree" || fail "Control"
[ $failed -eq 0 ] || { echo "The control's keys as Wine's reg tool printed them:"; cat "$tree"; }
libid=$(values '\TypeLib' | grep -o '{[^}]*}' | tail -n 1 || true)
query "HKCR\\TypeLib\\$libid\\1.0" | grep -q 'Tarsel ActiveX Control module' || fail "type library TARSELLib 1.0"

wine regsvr32 /u /s "$dir/TARSEL.OCX" || fail "regsvr32 /u"
for gone in 'HKCR\TARSEL.TarselCtrl.1' 'HKCR\TARSEL.TarselPropPage.1' "$key" "HKCR\\CLSID\\$page" "HKCR\\TypeLib\\$libid"; do
  if wine reg query "$gone" > /dev/null 2>&1; then fail "$gone left after unregistering"; fi
done
wineserver -k 2> /dev/null || true
wineserver -w 2> /dev/null || true
# The prefix is several hundred megabytes; TARSEL_KEEP_PREFIX=1 keeps it to look into.
[ -n "${TARSEL_KEEP_PREFIX:-}" ] || rm -rf "$WINEPREFIX" "$dir/wine-output.txt" "$tree"
[ $failed -eq 0 ] && echo "TARSEL.OCX under Wine: all checks passed"
exit $failed
