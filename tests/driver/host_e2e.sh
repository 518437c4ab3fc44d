#!/bin/sh
# Runs the host build's e2e_test (first argument) with the other arguments;
# skips (exit status 77) when that build is missing.
e2e=$1
shift
if [ ! -x "$e2e" ]; then
  echo "skipped: no host e2e_test at $e2e; build this tree for Linux in build/ first" \
       "(scripts/test does), or configure with -DORASAY_HOST_E2E_TEST=<path>"
  exit 77
fi
exec "$e2e" "$@"
