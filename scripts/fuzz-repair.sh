#!/usr/bin/env bash
# Fuzzes the start-up repair for a while (60 s by default, or the seconds given): seeds from a
# recording run that the unit tests kill, written into the corpus the runs keep and grow, then
# the fuzz target of build/fuzz. An input that crashes, hangs, allocates more than 300 MB at
# once or leaves a large file is kept beside the corpus, and the run fails.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${1:-60}
# Each run writes and forces its files to the disk: in memory where the system has a folder so.
[ -z "${TMPDIR:-}" ] && [ -w /dev/shm ] && export TMPDIR=/dev/shm
corpus=build/fuzz/corpus
mkdir -p "$corpus" build/fuzz/found
QUILLET_REPAIR_SEEDS=$root/$corpus build/native-asan/quillet_tests \
    --gtest_filter='RunJournal.HoldsTheStream*' --gtest_brief=1 >build/fuzz/seeds.log 2>&1 ||
    { cat build/fuzz/seeds.log; exit 1; }
build/fuzz/repair_fuzz -max_total_time="$seconds" -timeout=10 -malloc_limit_mb=300 \
    -max_len=131072 -print_final_stats=1 -artifact_prefix=build/fuzz/found/ "$corpus" \
    2>build/fuzz/fuzz.log
rc=$?
grep -E '^stat::number_of_executed_units|^#[0-9]+ *DONE|ERROR|SUMMARY' build/fuzz/fuzz.log | tail -5
exit $rc
