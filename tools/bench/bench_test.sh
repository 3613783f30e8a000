#!/bin/sh
# Keeps the benchmarks working: runs every one of them in quick mode (a few
# iterations) and checks that each figure has its row in the table. Times
# are never checked here; scripts/bench is where they are read.
#   bench_test.sh WINE_RUN PREFIX BIN_DIR
set -u
table=$(mktemp /tmp/tidewell-bench-test.XXXXXX)
trap 'rm -f "$table"' EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }

"$(dirname "$0")/run_figures.sh" --quick "$@" >"$table" || fail "a benchmark did not run to its end"
cat "$table"
for figure in 1 2a 2b 3 4a 4b 5a 5b 6a 6b 6c; do
    # Six cells, the last saying whether the goal was met (or that there is none).
    grep -Eq "^\| $figure \|([^|]+\|){4} (yes|no|-) \|$" "$table" || fail "figure $figure has no complete row"
done
exit $status
