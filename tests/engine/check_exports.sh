#!/usr/bin/env bash
# Checks that a shared library exports exactly the names given: the
# engine's entry points, and none of the libraries linked into it.
#   check_exports.sh LIBRARY NAME...
set -euo pipefail
lib=$1
shift
expected=$(printf '%s\n' "$@" | sort)
actual=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TDBRVW]$/ { print $3 }' | sort)
if [[ $actual != "$expected" ]]; then
  echo "check_exports: $lib exports [$(echo $actual)], expected [$(echo $expected)]" >&2
  exit 1
fi
echo "check_exports: $lib exports [$(echo $actual)]"
