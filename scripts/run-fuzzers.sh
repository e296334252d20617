#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build for a while from its seed corpus in fuzz/corpus/<target>/
# (read only: new inputs go to <build>/corpus/<target>/), a few at a time, and prints per target the
# runs made and what crashed. Crashing inputs are kept in <build>/artifacts/<target>/.
# Usage: run-fuzzers.sh BUILD_DIR [SECONDS [JOBS]]; exits non-zero when any target crashed.
set -uo pipefail
build=${1:?build folder}
seconds=${2:-60}
jobs=${3:-4}
root=$(cd "$(dirname "$0")/.." && pwd)
mapfile -t targets < <(cd "$root/fuzz" && ls fuzz_*.cpp | sed 's/\.cpp$//')

# The web view target runs pages as a creative would, so its limits come from a page's: an input that
# makes the process pass a few times the page's memory budget, or hold the thread a few times what its
# script entries may take, has escaped the page's limits and is a finding. Read from the sources, so the
# run follows them: the memory budget (ScriptContext's default, which web views use) and the time limit
# per entry the target sets.
page_mb=$(grep -o 'DefaultMemoryLimit = [0-9]*u << 20' "$root/platform/web/ScriptContext.h" | grep -o '= [0-9]*' | grep -o '[0-9]*')
page_seconds=$(grep -o 'setScriptTimeLimit([0-9.]*)' "$root/fuzz/fuzz_web_view.cpp" | head -1 | grep -o '[0-9.][0-9.]*')
page_mb=${page_mb:-64}
page_seconds=${page_seconds:-0.02}
# What the instrumented process holds besides its pages: its runtime, the engine's prelude and the
# sanitizers' own tables (65 MB at start, 120 MB after fifty small inputs).
baseline_mb=${FUZZ_BASELINE_MB:-128}
web_rss_mb=$((baseline_mb + 3 * page_mb))
# An input runs about a dozen entries (its scripts, the evaluations, clicks, touches, timers and frames);
# ten times their limits in all covers the slower instrumented build. At least a second (libFuzzer's unit).
web_timeout=$(awk -v t="$page_seconds" 'BEGIN { s = 10 * 12 * t; s = (s == int(s)) ? s : int(s) + 1; print (s < 1 ? 1 : s) }')
export web_rss_mb web_timeout

run_one() {
  local t=$1 build=$2 seconds=$3 root=$4
  local bin="$build/fuzz/$t" seeds="$root/fuzz/corpus/$t" out="$build/corpus/$t" art="$build/artifacts/$t/"
  rm -rf "$art"; mkdir -p "$out" "$art" "$seeds"
  local rss=4096 timeout=20 asan=detect_leaks=0:allocator_may_return_null=1
  local limits=(-rss_limit_mb=4096)
  if [ "$t" = fuzz_web_view ]; then
    rss=$web_rss_mb timeout=$web_timeout
    # The sanitizer's own limit rather than libFuzzer's: libFuzzer's prints a profile of every allocation
    # first, which for a page of a million nodes takes longer than the run. A small quarantine, so that
    # the process's size follows what the page holds, not what it freed. One allocation past the limit is
    # caught as it is asked for.
    asan=$asan:quarantine_size_mb=32:hard_rss_limit_mb=$rss
    limits=(-rss_limit_mb=0 -malloc_limit_mb="$rss")
  fi
  local opts=(-max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$art" "${limits[@]}"
              -timeout="$timeout" -max_len=65536)
  [ -f "$root/fuzz/dict/$t.dict" ] && opts+=(-dict="$root/fuzz/dict/$t.dict")
  # Leaks are reported by the ordinary sanitizer build; process-wide singletons are not leaks here.
  ASAN_OPTIONS=$asan UBSAN_OPTIONS=print_stacktrace=1 \
    "$bin" "${opts[@]}" "$out" "$seeds" >"$build/fuzz-$t.log" 2>&1
  local rc=$?
  local runs
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$build/fuzz-$t.log" | tail -1 | grep -o '[0-9]*$')
  local crashes
  crashes=$(find "$art" -type f | wc -l)
  local peak
  peak=$(grep -o 'stat::peak_rss_mb: *[0-9]*' "$build/fuzz-$t.log" | tail -1 | grep -o '[0-9]*$')
  printf '%-24s runs %-10s peak %5s MB (limit %s)  timeout %ss  crashes %s%s\n' "$t" "${runs:-?}" "${peak:-?}" "$rss" "$timeout" "$crashes" "$([ $rc -ne 0 ] && echo "  (exit $rc, see $build/fuzz-$t.log)")"
  return $rc
}
export -f run_one

status=0
printf '%s\n' "${targets[@]}" | xargs -P "$jobs" -I{} bash -c 'run_one "$@"' _ {} "$build" "$seconds" "$root" || status=1
exit $status
