#!/usr/bin/env bash
# scripts/probe-i386 turns the 32-bit Windows tests off for exactly one
# answer: a kernel that refuses the loader ("Exec format error").  Any other
# failure of wine must leave them on, so that the tests show it.
#   probe_i386_test.sh PROBE
set -euo pipefail
probe=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# An ELF header for no machine at all: every kernel refuses it.
printf '\177ELF\001\001\001\0\0\0\0\0\0\0\0\0\002\0\0\0\001\0\0\0' >"$work/loader"
chmod +x "$work/loader"

failures=0
while IFS='|' read -r status wine; do
  got=0
  (cd "$work" && "$probe" sh -c "$wine") >/dev/null || got=$?
  [[ $got == "$status" ]] || { echo "probe_i386_test: [$wine]: status $got, expected $status" >&2; failures=1; }
done <<'ROWS'
3|exec ./loader
0|echo wine-8.0
0|echo 'wine: could not load kernel32.dll' >&2; exit 1
0|exec ./missing-loader
ROWS
exit $failures
