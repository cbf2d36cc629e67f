#!/usr/bin/env bash
# Every fuzzer: first the saved crashes in fuzz/regressions/<fuzzer>/ (each must now pass), then
# SECONDS seconds (default 30) of fuzzing from the committed seeds in fuzz/corpus/<fuzzer>/.
# What a run learns stays in build/fuzz-corpus/; a crash is left in build/fuzz-crashes/ and
# fails the run (copy it into fuzz/regressions/<fuzzer>/ once fixed).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
seconds=${1:-30}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

status=0
for binary in build/fuzz/fuzz/*_fuzzer; do
    name=$(basename "$binary")
    regressions=fuzz/regressions/$name
    if compgen -G "$regressions/*" >/dev/null; then
        echo "== $name: replaying $(ls "$regressions" | wc -l) saved inputs"
        "$binary" "$regressions"/* >/dev/null 2>&1 || { echo "$name: a saved input fails"; status=1; }
    fi
    corpus=build/fuzz-corpus/$name
    crashes=build/fuzz-crashes/$name/
    mkdir -p "$corpus" "$crashes"
    echo "== $name: ${seconds} s"
    if ! "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -print_final_stats=0 \
        -artifact_prefix="$crashes" "$corpus" "fuzz/corpus/$name" >"build/fuzz-$name.log" 2>&1; then
        tail -n 30 "build/fuzz-$name.log"
        echo "$name: found a failing input; see $crashes"
        status=1
    else
        tail -n 1 "build/fuzz-$name.log"
    fi
done
exit $status
