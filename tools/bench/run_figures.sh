#!/bin/sh
# Runs every benchmark under Wine (and the data-file benchmark natively too,
# when given its native build) and prints one Markdown table, the figures in
# order, with the notes that explain them below it.
#
#   run_figures.sh [--quick] [--native BENCH_DATAFILE] WINE_RUN PREFIX BIN_DIR
#
# Exit code 0 when every benchmark ran to its end; a benchmark that fails
# says why on standard error and its rows are missing.
set -u

quick=""
native=""
while [ $# -gt 3 ]; do
    case "$1" in
        --quick) quick="--quick"; shift ;;
        --native) native="$2"; shift 2 ;;
        *) break ;;
    esac
done
[ $# -eq 3 ] || { echo "usage: run_figures.sh [--quick] [--native BENCH_DATAFILE] WINE_RUN PREFIX BIN_DIR" >&2; exit 2; }
wine_run=$1
prefix=$2
bin=$3

out=$(mktemp /tmp/tidewell-bench.XXXXXX)
trap 'rm -f "$out" "$out.one"' EXIT
status=0

# Wine's console programs end their lines with CR LF. Through a file rather
# than a pipe, so that the program's own exit code counts.
run() {
    if ! "$@" >"$out.one"; then
        echo "run_figures: $* failed" >&2
        status=1
    fi
    tr -d '\r' <"$out.one" >>"$out"
    rm -f "$out.one"
}

run "$wine_run" --prefix "$prefix" "$bin/bench_agent.exe" $quick
run "$wine_run" --prefix "$prefix" "$bin/bench_datafile.exe" $quick
if [ -n "$native" ]; then
    run "$native" $quick --label native
fi
run "$wine_run" --prefix "$prefix" "$bin/bench_tick.exe" $quick
run "$wine_run" --prefix "$prefix" "$bin/bench_glancer.exe" $quick

echo "| Figure | Subject | Baseline | Result | Goal | Met |"
echo "| --- | --- | --- | --- | --- | --- |"
grep '^| ' "$out" | LC_ALL=C sort -s -t '|' -k2,2
echo
grep '^- ' "$out" | LC_ALL=C sort -s -b -k3.1,3.1
exit $status
