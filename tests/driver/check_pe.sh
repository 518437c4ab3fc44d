#!/usr/bin/env bash
# Checks a cross-built Windows binary without running it: a PE file for the
# given architecture (i386: PE32, Intel 80386; x86-64: PE32+) and the
# console subsystem that imports exactly the DLLs named (its runtimes are
# linked in; the program loads the engine at run time, by no import) and
# exports exactly the names given, undecorated.
#   check_pe.sh OBJDUMP i386|x86-64 FILE "DLL..." [EXPORT...]
set -euo pipefail
objdump=$1 arch=$2 file=$3
expected_dlls=$(tr ' ' '\n' <<<"${4,,}" | sort)
shift 4
expected_exports=$(printf '%s\n' "$@" | sort)
case $arch in
  i386) kind=PE32 machine='Intel 80386' magic='010b' ;;
  x86-64) kind=PE32+ machine=x86-64 magic='020b' ;;
  *) echo "check_pe: unknown architecture $arch" >&2; exit 2 ;;
esac

failures=0
fail() {
  echo "check_pe: $file: $*" >&2
  failures=$((failures + 1))
}

command -v file >/dev/null || { echo "check_pe: skipped: no file(1)"; exit 77; }
description=$(file -b "$file")
[[ $description =~ ^"$kind executable "(\(DLL\)\ )?"(console) $machine, for MS Windows" ]] ||
  fail "file(1) says: $description"

headers=$("$objdump" -p "$file") || fail "$objdump cannot read it"
grep -q "file format pei-$arch\$" <<<"$headers" || fail "not pei-$arch"
grep -qP "^Magic\t+$magic\t" <<<"$headers" || fail "not $kind (Magic)"
grep -qP '^Subsystem\t+00000003\t\(Windows CUI\)$' <<<"$headers" || fail "not the console subsystem"

dlls=$(sed -n 's/^\tDLL Name: //p' <<<"$headers")
[[ $(sort <<<"${dlls,,}") == "$expected_dlls" ]] ||
  fail "imports [$(echo $dlls)], expected [$(echo $expected_dlls)]"

exports=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^\t\[ *[0-9]*\] //p' <<<"$headers" | sort)
[[ $exports == "$expected_exports" ]] ||
  fail "exports [$(echo $exports)], expected [$(echo $expected_exports)]"

echo "check_pe: $file: $arch, imports $(echo $dlls), exports [$(echo $exports)]"
exit $((failures > 0))
