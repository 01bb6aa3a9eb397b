#!/usr/bin/env bash
# Usage: scripts/check-deps.sh BUILD_DIR
#
# Fails when the build in BUILD_DIR used a Debian package that the build's
# tier of scripts/deps.sh (PLOVAN_TIER in its cache, set by make; test when
# unset) neither names nor pulls in through Depends/Pre-Depends, so that a
# machine which happens to have the package already cannot hide a missing
# install step, and a run build cannot lean on a test package. What counts as
# used:
#   - the config file behind every <Package>_DIR in CMakeCache.txt,
#   - the compiler, make, cmake, ctest, pkg-config, every program found by
#     find_program (the mingw-w64 tools, help2man) in CMakeCache.txt, and
#     moc/uic/rcc from the autogen files,
#   - every library named on a link line (link.txt, -lNAME included),
#   - every system header in the compilers' dependency files,
#   - every shared library the built ELF executables load (ldd),
#   - the programs the tests are run with (CTestTestfile.cmake).
# Only the current targets' files count when CMakeFiles/TargetDirectories.txt
# lists them; leftovers of removed targets are not looked at.
# Each file is mapped to its package with dpkg -S (the path as named and the
# symlink target, each also under its /usr-merged alias). Essential and
# Priority: required packages count as present.
#
# Prints one line when all is well; otherwise each missing package with the
# file(s) that need it, and exits 1.
set -euo pipefail

if [ $# -ne 1 ] || [ ! -d "$1" ]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
here=$(cd "$(dirname "$0")" && pwd -P)
build=$(cd "$1" && pwd -P)
cache=$build/CMakeCache.txt
if [ ! -f "$cache" ]; then
  echo "dependency check: $cache not found; build first (make build)" >&2
  exit 2
fi
src=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$cache")
src=$(cd "${src:-$here/..}" 2>/dev/null && pwd -P || echo "$here/..")

export LC_ALL=C
tmp=$(mktemp -d)
trap '[ -n "${CHECK_DEPS_KEEP:-}" ] && echo "$tmp" >&2 || rm -rf "$tmp"' EXIT
used=$tmp/used # path TAB where it came from

# With the Makefile generator, the current targets' own folders: anything
# else under BUILD_DIR is left over from targets that no longer exist.
roots=()
if [ -f "$build/CMakeFiles/TargetDirectories.txt" ]; then
  while IFS= read -r d; do
    [ -d "$d" ] && roots+=("$d")
  done < "$build/CMakeFiles/TargetDirectories.txt"
fi
[ ${#roots[@]} -gt 0 ] || roots=("$build")

cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$cache" | head -n1; }
tier=$(cache_value PLOVAN_TIER)
tier=${tier:-test}

# --- CMakeCache.txt: <Package>_DIR of every package found through a config file
while IFS='=' read -r key dir; do
  name=${key%_DIR:PATH}
  case $dir in '' | *-NOTFOUND | "$build" | "$build"/* | "$src" | "$src"/*) continue ;; /*) ;; *) continue ;; esac
  [ -d "$dir" ] || continue
  for f in "$dir/${name}Config.cmake" "$dir/${name,,}-config.cmake"; do
    if [ -f "$f" ]; then
      printf '%s\tCMakeCache.txt: %s\n' "$f" "${name}_DIR"
      break
    fi
  done
  # A _DIR without a config file (an include or library search directory)
  # says nothing about a package; the headers and libraries really used are
  # taken from the dependency files and link lines below.
done < <(grep -E '^[A-Za-z0-9_.+-]+_DIR:PATH=' "$cache") > "$used"

# --- tools
for key in CMAKE_CXX_COMPILER CMAKE_C_COMPILER CMAKE_MAKE_PROGRAM CMAKE_COMMAND CMAKE_CTEST_COMMAND \
  PKG_CONFIG_EXECUTABLE CMAKE_AR CMAKE_RANLIB CMAKE_LINKER CMAKE_CXX_COMPILER_AR CMAKE_CXX_COMPILER_RANLIB; do
  v=$(cache_value "$key")
  case $v in /*) [ -e "$v" ] && printf '%s\tCMakeCache.txt: %s\n' "$v" "$key" ;; esac
done >> "$used"
# Every program a find_program() found (TARSEL_CXX, HELP2MAN, ...), but the
# version-control and coverage tools CTest looks for on its own.
grep -E '^[A-Za-z0-9_]+:FILEPATH=/' "$cache" | while IFS='=' read -r key v; do
  key=${key%%:*}
  case $key in GITCOMMAND | SVNCOMMAND | CVSCOMMAND | HGCOMMAND | BZRCOMMAND | P4COMMAND | MEMORYCHECK_COMMAND | COVERAGE_COMMAND) continue ;; esac
  if [ -f "$v" ] && [ -x "$v" ]; then printf '%s\tCMakeCache.txt: %s\n' "$v" "$key"; fi
done >> "$used"
find "${roots[@]}" -name AutogenInfo.json -print0 | xargs -0r awk -v b="$build/" '
  match($0, /"(QT_MOC|QT_UIC|QT_RCC|CMAKE)_EXECUTABLE" *: *"\/[^"]*"/) {
    s = substr($0, RSTART, RLENGTH); k = s; sub(/" *:.*/, "", k); sub(/^"/, "", k)
    sub(/^[^:]*: *"/, "", s); sub(/"$/, "", s)
    f = FILENAME; if (index(f, b) == 1) f = substr(f, length(b) + 1)
    printf "%s\t%s: %s\n", s, f, k
  }' >> "$used"

# --- link lines: absolute library paths and -lNAME
cxx=$(cache_value CMAKE_CXX_COMPILER)
find "${roots[@]}" -name link.txt -print0 | xargs -0r awk -v b="$build/" '
  {
    f = FILENAME; if (index(f, b) == 1) f = substr(f, length(b) + 1)
    for (i = 1; i <= NF; i++)
      if ($i ~ /^\// || $i ~ /^-l[^ ]+$/) printf "%s\t%s\n", $i, f
  }' | while IFS=$'\t' read -r item from; do
  case $item in
    -l*)
      lib=${item#-l}
      for ext in so a; do
        p=$("$cxx" -print-file-name="lib$lib.$ext" 2>/dev/null || true)
        if [ "${p#/}" != "$p" ] && [ -e "$p" ]; then
          printf '%s\t%s (%s)\n' "$(realpath -s "$p")" "$from" "$item"
          break
        fi
      done
      ;;
    *) [ -f "$item" ] && printf '%s\t%s\n' "$item" "$from" ;;
  esac
done >> "$used"

# --- headers from the compilers' dependency files
find "${roots[@]}" \( -name '*.o.d' -o -name compiler_depend.make -o -name depend.make \) -print0 |
  xargs -0r awk -v b="$build/" '
    FNR == 1 { target = FILENAME; if (index(target, b) == 1) target = substr(target, length(b) + 1) }
    {
      for (i = 1; i <= NF; i++) {
        t = $i
        if (t ~ /:$/ && t !~ /^\//) { target = substr(t, 1, length(t) - 1); continue }
        sub(/:$/, "", t)
        if (t ~ /^\//) printf "%s\theader of %s\n", t, target
      }
    }' >> "$used"

# --- shared libraries of the built executables
is_elf() {
  local magic=""
  IFS= read -r -N4 magic < "$1" 2>/dev/null || true
  [ "$magic" = $'\x7fELF' ]
}
elves=()
if [ "${roots[0]}" != "$build" ]; then
  # What each current target's link line writes (-o), relative to the folder
  # that holds the target's CMakeFiles.
  while IFS= read -r -d '' l; do
    out=$(awk '{ for (i = 1; i < NF; i++) if ($i == "-o") print $(i + 1) }' "$l" | tail -n1)
    [ -n "$out" ] || continue
    case $out in /*) ;; *) out=$(dirname "$(dirname "$(dirname "$l")")")/$out ;; esac
    [ -f "$out" ] && [ -x "$out" ] && is_elf "$out" && elves+=("$out")
  done < <(find "${roots[@]}" -name link.txt -print0)
else
  while IFS= read -r -d '' f; do
    is_elf "$f" && elves+=("$f")
  done < <(find "$build" -type f -executable -print0)
fi
if [ ${#elves[@]} -gt 0 ]; then
  for f in "${elves[@]}"; do
    echo "$f:"
    ldd "$f" 2>/dev/null || true
  done | awk -v b="$build/" '
    /^\// && /:$/ { exe = substr($0, 1, length($0) - 1); if (index(exe, b) == 1) exe = substr(exe, length(b) + 1); next }
    / => not found/ { printf "NOTFOUND:%s\tloaded by %s (ldd)\n", $1, exe; next }
    / => \// { printf "%s\tloaded by %s (ldd)\n", $3, exe; next }
    $1 ~ /^\// { printf "%s\tloaded by %s (ldd)\n", $1, exe }
  ' >> "$used"
fi

# --- the programs CTest starts each test with (the first word of add_test)
if [ "$(cache_value BUILD_TESTING)" = ON ]; then
  find "$build" -name CTestTestfile.cmake -print0 | xargs -0r awk -v b="$build/" '
    match($0, /^add_test\(\[=\[[^]]*\]=\] "[^"]*"/) {
      s = substr($0, RSTART, RLENGTH); name = s; sub(/^add_test\(\[=\[/, "", name); sub(/\]=\].*/, "", name)
      sub(/^[^"]*"/, "", s); sub(/"$/, "", s)
      print s "\t" name
    }' | while IFS=$'\t' read -r cmd name; do
    case $cmd in /*) ;; *) cmd=$(command -v "$cmd" || echo "NOTFOUND:$cmd") ;; esac
    printf '%s\ttest %s\n' "$cmd" "$name"
  done >> "$used"
fi

# Drop our own files, keep the first place each file came from.
awk -F'\t' -v b="$build" -v s="$src" '
  index($1, b "/") == 1 || index($1, s "/") == 1 { next }
  !seen[$1]++' "$used" > "$tmp/files"

# --- which package owns each file: one dpkg -S over all candidate paths
cut -f1 "$tmp/files" | grep -v '^NOTFOUND:' > "$tmp/paths" || true
if [ -s "$tmp/paths" ]; then
  tr '\n' '\0' < "$tmp/paths" | xargs -0 realpath -m -- > "$tmp/real"
else
  : > "$tmp/real"
fi
# path, its /usr-merged twin, its symlink target, the target's twin
paste "$tmp/paths" "$tmp/real" | awk -F'\t' -v OFS='\t' '
  function twin(p) {
    if (p ~ /^\/usr\/(s?bin|lib|lib32|lib64|libx32)\//) return substr(p, 5)
    if (p ~ /^\/(s?bin|lib|lib32|lib64|libx32)\//) return "/usr" p
    return p
  }
  { print $1, twin($1), $2, twin($2) }' > "$tmp/cands"
tr '\t' '\n' < "$tmp/cands" | sort -u > "$tmp/lookup"
if [ -s "$tmp/lookup" ]; then
  tr '\n' '\0' < "$tmp/lookup" | xargs -0 dpkg -S -- 2>/dev/null | grep -v '^diversion by ' > "$tmp/owners" || true
else
  : > "$tmp/owners"
fi

# --- what deps.sh installs, with everything it pulls in
"$here/deps.sh" --list "$tier" > "$tmp/listed"
dpkg-query -W -f='${db:Status-Abbrev}\t${Package}\t${Essential}\t${Priority}\n' |
  awk -F'\t' '$1 ~ /^ii/ && ($3 == "yes" || $4 == "required") { print $2 }' > "$tmp/base"
if ! sort -u "$tmp/listed" "$tmp/base" | xargs apt-cache depends --recurse --no-recommends --no-suggests \
  --no-conflicts --no-breaks --no-replaces --no-enhances > "$tmp/closure" 2> "$tmp/apt-err"; then
  echo "dependency check: apt-cache depends failed:" >&2
  cat "$tmp/apt-err" >&2
  exit 1
fi

awk -F'\t' -v OFS='\t' -v tier="$tier" '
  function strip(p) { sub(/:[a-z0-9]+$/, "", p); return p }
  FILENAME == ARGV[1] { # apt-cache depends: every package it visits stands at the left margin
    if ($0 ~ /^[^ <|]/) closure[strip($0)] = 1
    next
  }
  FILENAME == ARGV[2] { # dpkg -S: "pkg[:arch][, pkg...]: path"
    i = index($0, ": "); if (!i) next
    pk = substr($0, 1, i - 1); path = substr($0, i + 2)
    n = split(pk, a, ", ")
    for (j = 1; j <= n; j++) owners[path] = owners[path] (j > 1 ? " " : "") strip(a[j])
    next
  }
  FILENAME == ARGV[3] { # path, its alias, its target, the target alias
    cand[$1] = $0
    next
  }
  function merge(x, y,   r, n, a, j, seen) { # owners of two paths as one "any of" set
    r = ""
    n = split(owners[x] " " owners[y], a, " ")
    for (j = 1; j <= n; j++) if (a[j] != "" && !(a[j] in seen)) { seen[a[j]] = 1; r = r (r == "" ? "" : " ") a[j] }
    return r
  }
  function need(set, file, from,   n, a, j, ok) {
    n = split(set, a, " "); ok = 0
    for (j = 1; j <= n; j++) if (a[j] in closure) { ok = 1; used[a[j]] = 1 }
    if (ok) return
    for (j = 1; j <= n; j++) used[a[j]] = 1
    if (!(set in nfiles)) order[++nmissing] = set
    if (++nfiles[set] <= 3) files[set] = files[set] sprintf("      %s (%s)\n", file, from)
  }
  { # the files the build used: path TAB where it came from
    file = $1; from = $2
    if (file ~ /^NOTFOUND:/) { sub(/^NOTFOUND:/, "", file); unresolved = unresolved sprintf("  %s, %s, is not on this machine\n", file, from); next }
    split(cand[file], c, "\t")
    named = merge(c[1], c[2])
    target = (c[3] != c[1]) ? merge(c[3], c[4]) : ""
    if (named == "" && target == "") { unowned = unowned sprintf("  %s (%s) comes from no Debian package\n", file, from); next }
    if (named != "") need(named, file, from)
    if (target != "" && target != named) need(target, file " -> " c[3], from)
  }
  END {
    n = 0; for (p in used) n++
    if (nmissing == 0 && unowned == "" && unresolved == "") {
      printf "dependency check: %d packages used, all named by the %s tier of scripts/deps.sh or pulled in by them\n", n, tier
      exit 0
    }
    if (nmissing) printf "dependency check: the build used packages that the %s tier of scripts/deps.sh neither names nor pulls in:\n", tier
    for (k = 1; k <= nmissing; k++) {
      set = order[k]
      printf "  %s%s, needed for\n%s", (set ~ / / ? "one of: " : ""), set, files[set]
      if (nfiles[set] > 3) printf "      and %d more file(s)\n", nfiles[set] - 3
    }
    if (unowned != "" || unresolved != "") print "dependency check: files the build used that no package provides here:"
    printf "%s%s", unowned, unresolved
    exit 1
  }
' "$tmp/closure" "$tmp/owners" "$tmp/cands" "$tmp/files"
