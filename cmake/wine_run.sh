#!/bin/sh
# Runs a Windows program under Wine for ctest and for the build, its output going through a file.
# A Wine service that the program starts on the way (the desktop process, when the program is the
# first since the last one ended to need a desktop) inherits the program's output handles and
# lives on after it: on ctest's pipe that kept a test "running" until its time-out, though the
# program had ended. The output is handed on once the program is gone, with its exit status.
out=$(mktemp "${TMPDIR:-/tmp}/wine_run.XXXXXX") || exit 125
trap 'rm -f "$out"' EXIT
trap 'exit 143' TERM INT
wine "$@" >"$out" 2>&1
status=$?
cat "$out"
exit $status
