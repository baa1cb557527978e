#!/bin/sh
# Runs a Windows test program under Wine for CTest, with its output going
# through files. Processes that Wine starts beside the program (the console
# host of a child with a console of its own, a child that outlived its
# termination) inherit the program's standard streams; were those CTest's
# pipes, CTest would wait for them to close long after the program had ended,
# until the test timed out. Wine maps file names through the Unix locale and
# cannot open non-ASCII ones in the C locale, hence a UTF-8 locale (C.UTF-8 is
# always there).
out=$(mktemp) && err=$(mktemp) || exit 1
LC_ALL=C.UTF-8 /usr/lib/wine/wine64 "$@" >"$out" 2>"$err" </dev/null
status=$?
cat "$out"
cat "$err" >&2
# A failure with nothing printed at all (seen once, on a loaded machine) says
# at least who ended it.
if [ "$status" -ne 0 ] && [ ! -s "$out" ] && [ ! -s "$err" ]; then
    echo "wine-test: wine64 $1 ended with status $status and printed nothing" >&2
fi
rm -f "$out" "$err"
exit $status
