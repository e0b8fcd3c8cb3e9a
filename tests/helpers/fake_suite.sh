#!/bin/sh
# A suite's program as scripts/run-suite.py sees it, ending as $1 says: a
# crash "before" GoogleTest's passing summary, or after it "always", or "once"
# (on the first of its runner's two runs), leaving no core file.
ulimit -c 0
[ "$1" = before ] && kill -SEGV $$
printf '[==========] 1 test from 1 test suite ran.\n[  PASSED  ] 1 test.\n'
marker=${TMPDIR:-/tmp}/vlx-fake-suite-$PPID
[ "$1" = once ] && [ -e "$marker" ] && rm "$marker" && exit 0
[ "$1" = once ] && : >"$marker"
kill -SEGV $$
