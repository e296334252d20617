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

run_one() {
  local t=$1 build=$2 seconds=$3 root=$4
  local bin="$build/fuzz/$t" seeds="$root/fuzz/corpus/$t" out="$build/corpus/$t" art="$build/artifacts/$t/"
  rm -rf "$art"; mkdir -p "$out" "$art" "$seeds"
  local opts=(-max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$art" -rss_limit_mb=4096
              -timeout=20 -max_len=65536)
  [ -f "$root/fuzz/dict/$t.dict" ] && opts+=(-dict="$root/fuzz/dict/$t.dict")
  # Leaks are reported by the ordinary sanitizer build; process-wide singletons are not leaks here.
  ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "$bin" "${opts[@]}" "$out" "$seeds" >"$build/fuzz-$t.log" 2>&1
  local rc=$?
  local runs
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$build/fuzz-$t.log" | tail -1 | grep -o '[0-9]*$')
  local crashes
  crashes=$(find "$art" -type f | wc -l)
  printf '%-24s runs %-10s crashes %s%s\n' "$t" "${runs:-?}" "$crashes" "$([ $rc -ne 0 ] && echo "  (exit $rc, see $build/fuzz-$t.log)")"
  return $rc
}
export -f run_one

status=0
printf '%s\n' "${targets[@]}" | xargs -P "$jobs" -I{} bash -c 'run_one "$@"' _ {} "$build" "$seconds" "$root" || status=1
exit $status
