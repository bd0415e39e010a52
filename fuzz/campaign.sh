#!/usr/bin/env bash
# A fuzzing campaign, longer than the replay of ./test.sh: each target (all, or those named)
# runs RUNS inputs (default 1000000, at most MAX_TIME seconds each, default 3600) of at most
# MAX_LEN bytes (default 4096; longer corpus files are cut), starting from the committed corpus.
# JOBS targets run at once (default 2). Under OUT (default build-fuzz/campaign): the
# grown corpus of each target, its log, findings in artifacts/<target>/ (crash-, leak-,
# timeout-, oom- files: copy each into fuzz/corpus/<target>/ once it is mended), and summary.txt:
# inputs run, edges and features covered, corpus size, findings and time per target.
set -euo pipefail
cd "$(dirname "$0")/.."
fuzz/build.sh >/dev/null

export RUNS=${RUNS:-1000000} MAX_TIME=${MAX_TIME:-3600} MAX_LEN=${MAX_LEN:-4096}
export OUT=${OUT:-build-fuzz/campaign}
mkdir -p "$OUT"
if [ $# -gt 0 ]; then
    targets=("$@")
else
    mapfile -t targets < <(ls fuzz/corpus)
fi

run_one() {
    local t=$1 out=$OUT
    mkdir -p "$out/$t" "$out/artifacts/$t"
    local start end
    start=$(date +%s)
    build-fuzz/fuzz/fuzz_"$t" -runs="$RUNS" -max_total_time="$MAX_TIME" -max_len="$MAX_LEN" -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$out/artifacts/$t/" \
        "$out/$t" "fuzz/corpus/$t" >"$out/$t.log" 2>&1 || true
    end=$(date +%s)
    local runs cov ft corp findings
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$out/$t.log" | tail -1)
    cov=$(grep -o 'cov: [0-9]*' "$out/$t.log" | tail -1 | cut -d' ' -f2)
    ft=$(grep -o 'ft: [0-9]*' "$out/$t.log" | tail -1 | cut -d' ' -f2)
    corp=$(find "$out/$t" -type f | wc -l)
    findings=$(find "$out/artifacts/$t" -type f | wc -l)
    printf '%-13s %12s %7s %8s %7s %9s %7ss\n' "$t" "${runs:-?}" "${cov:-?}" "${ft:-?}" \
        "$corp" "$findings" "$((end - start))"
}
export -f run_one

{
    printf '%-13s %12s %7s %8s %7s %9s %8s\n' target inputs edges features corpus findings time
    printf '%s\n' "${targets[@]}" | xargs -P "${JOBS:-2}" -I{} bash -c 'run_one {}'
} | tee "$OUT/summary.txt"
