#!/bin/sh
# Runs a Windows program under Wine for ctest, its output passed on through a file. Wine's
# system processes, started by whichever program needs them first, inherit its output and keep
# it open for as long as Wine runs; through a pipe, ctest would wait on it until then.
out=$(mktemp)
wine "$@" </dev/null >"$out" 2>&1
status=$?
cat "$out"
rm -f "$out"
exit $status
