#!/usr/bin/env bash
# Runs every committed corpus file once through its sanitized target (fuzz/build.sh builds
# them): valid inputs and every reproducer found so far, the hangs among them. A crash, a
# sanitizer report, a broken promise or an input taking longer than TIMEOUT seconds (default 5)
# fails the run. The slowest input of each target is reported.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=build-fuzz/fuzz
timeout_s=${TIMEOUT:-5}
failed=0
for corpus in fuzz/corpus/*/; do
    target=$(basename "$corpus")
    exe=$bin/fuzz_$target
    log=$bin/replay-$target.log
    if [ ! -x "$exe" ]; then
        echo "fuzz replay: no target for $corpus (run fuzz/build.sh)" >&2
        failed=1
        continue
    fi
    mapfile -t files < <(find "$corpus" -type f | sort)
    if "$exe" -timeout="$timeout_s" -rss_limit_mb=2048 "${files[@]}" >"$log" 2>&1; then
        slowest=$(sed -n 's/^Executed \(.*\) in \([0-9]*\) ms$/\2 \1/p' "$log" | sort -n | tail -1)
        echo "fuzz replay: $target: ${#files[@]} inputs, slowest ${slowest%% *} ms (${slowest#* })"
    else
        echo "fuzz replay: $target FAILED (log: $log)" >&2
        tail -n 30 "$log" >&2
        failed=1
    fi
done
exit $failed
