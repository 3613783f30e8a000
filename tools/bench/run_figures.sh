#!/bin/sh
# Runs every benchmark under Wine (and the data-file benchmark natively too,
# when given its native build) and prints one Markdown table, the figures in
# order, with the notes that explain them below it. With --beside, the Wine
# benchmarks of a second build (the other word size) run in the same prefix
# after the first build's, and their rows follow each figure's row with the
# label added to the figure's name; the notes are the first build's.
#
#   run_figures.sh [--quick] [--native BENCH_DATAFILE] [--beside LABEL BIN_DIR] WINE_RUN PREFIX BIN_DIR
#
# Exit code 0 when every benchmark ran to its end; a benchmark that fails
# says why on standard error and its rows are missing.
set -u

quick=""
native=""
beside_label=""
beside_bin=""
while [ $# -gt 3 ]; do
    case "$1" in
        --quick) quick="--quick"; shift ;;
        --native) native="$2"; shift 2 ;;
        --beside) beside_label="$2"; beside_bin="$3"; shift 3 ;;
        *) break ;;
    esac
done
[ $# -eq 3 ] || {
    echo "usage: run_figures.sh [--quick] [--native BENCH_DATAFILE] [--beside LABEL BIN_DIR] WINE_RUN PREFIX BIN_DIR" >&2
    exit 2
}
wine_run=$1
prefix=$2
bin=$3

out=$(mktemp /tmp/tidewell-bench.XXXXXX)
trap 'rm -f "$out" "$out.one"' EXIT
status=0

# Wine's console programs end their lines with CR LF. Through a file rather
# than a pipe, so that the program's own exit code counts.
# A label, when set, goes into the figure's name and only the rows are kept.
label=""
run() {
    if ! "$@" >"$out.one"; then
        echo "run_figures: $* failed" >&2
        status=1
    fi
    if [ -n "$label" ]; then
        tr -d '\r' <"$out.one" | sed -n "s/^| \([^|]*[^ |]\) |/| \1 ($label) |/p" >>"$out"
    else
        tr -d '\r' <"$out.one" >>"$out"
    fi
    rm -f "$out.one"
}

run "$wine_run" --prefix "$prefix" "$bin/bench_agent.exe" $quick
run "$wine_run" --prefix "$prefix" "$bin/bench_datafile.exe" $quick
if [ -n "$native" ]; then
    run "$native" $quick --label native
fi
run "$wine_run" --prefix "$prefix" "$bin/bench_tick.exe" $quick
run "$wine_run" --prefix "$prefix" "$bin/bench_glancer.exe" $quick
if [ -n "$beside_bin" ]; then
    label=$beside_label
    run "$wine_run" --prefix "$prefix" "$beside_bin/bench_agent.exe" $quick
    run "$wine_run" --prefix "$prefix" "$beside_bin/bench_datafile.exe" $quick
    run "$wine_run" --prefix "$prefix" "$beside_bin/bench_tick.exe" $quick
    run "$wine_run" --prefix "$prefix" "$beside_bin/bench_glancer.exe" $quick
    label=""
fi

echo "| Figure | Subject | Baseline | Result | Goal | Met |"
echo "| --- | --- | --- | --- | --- | --- |"
grep '^| ' "$out" | LC_ALL=C sort -s -t '|' -k2,2
echo
grep '^- ' "$out" | LC_ALL=C sort -s -b -k3.1,3.1
exit $status
