#!/usr/bin/env bash
# Checks a cross-built Windows binary: a 32-bit PE file for Intel 80386 and
# the console subsystem that imports only Windows system DLLs (its runtimes
# are linked in) and exports exactly the names given, undecorated.
#   check_pe.sh OBJDUMP FILE [EXPORT...]
set -euo pipefail
objdump=$1 file=$2
shift 2
expected_exports=$(printf '%s\n' "$@" | sort)
system_dlls='^(kernel32|msvcrt|user32|advapi32|gdi32|shell32|ws2_32|ole32|winmm)\.dll$'

failures=0
fail() {
  echo "check_pe: $file: $*" >&2
  failures=$((failures + 1))
}

command -v file >/dev/null || { echo "check_pe: skipped: no file(1)"; exit 77; }
description=$(file -b "$file")
[[ $description =~ ^PE32\ executable\ (\(DLL\)\ )?\(console\)\ Intel\ 80386,\ for\ MS\ Windows ]] ||
  fail "file(1) says: $description"

headers=$("$objdump" -p "$file") || fail "$objdump cannot read it"
grep -q 'file format pei-i386$' <<<"$headers" || fail "not pei-i386"
grep -qP '^Magic\t+010b\t\(PE32\)$' <<<"$headers" || fail "not PE32 (Magic)"
grep -qP '^Subsystem\t+00000003\t\(Windows CUI\)$' <<<"$headers" || fail "not the console subsystem"

dlls=$(sed -n 's/^\tDLL Name: //p' <<<"$headers")
[[ -n $dlls ]] || fail "imports no DLL at all"
while read -r dll; do
  [[ -z $dll ]] || [[ ${dll,,} =~ $system_dlls ]] || fail "imports $dll"
done <<<"$dlls"

exports=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^\t\[ *[0-9]*\] //p' <<<"$headers" | sort)
[[ $exports == "$expected_exports" ]] ||
  fail "exports [$(echo $exports)], expected [$(echo $expected_exports)]"

echo "check_pe: $file: imports $(echo $dlls), exports [$(echo $exports)]"
exit $((failures > 0))
