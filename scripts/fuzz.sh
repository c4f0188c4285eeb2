#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz and runs each one in turn.
#   scripts/fuzz.sh [seconds-per-target]      (default 60)
#   FUZZ_RUNS=10000000 scripts/fuzz.sh        (a number of executions per target instead)
#   FUZZ_TARGETS="fuzz_seen_list" scripts/fuzz.sh 30
# Seeds come from fuzz/corpus/<target>/ and are left untouched; what the fuzzer adds goes to
# build-fuzz/corpus/<target>/, crashes to build-fuzz/artifacts/. Exits non-zero on any crash.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
seconds="${1:-60}"
build="${ORMISK_FUZZ_BUILD_DIR:-$root/build-fuzz}"

cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DORMISK_FUZZ=ON -DORMISK_BUILD_TESTS=OFF >/dev/null
targets="${FUZZ_TARGETS:-$(cd fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//' | tr '\n' ' ')}"
# shellcheck disable=SC2086
ninja -C "$build" -j2 $targets

# Two frames of allocation stack: Qt is built without frame pointers, so deeper stacks through it
# are mostly noise, and keeping every distinct one made runs slow and grow by gigabytes. To see a
# finding's full stacks, run the target on its artifact with ASAN_OPTIONS=malloc_context_size=30.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:malloc_context_size=2}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
mkdir -p "$build/artifacts"
summary=()
status=0
for t in $targets; do
  work="$build/corpus/$t"
  mkdir -p "$work"
  limit=(-max_total_time="$seconds")
  if [[ -n "${FUZZ_RUNS:-}" ]]; then limit=(-runs="$FUZZ_RUNS"); fi
  # The seen list and the settings file hold records read by the same code over and over: a few
  # dozen records cover it, and longer inputs only slow every run down.
  case "$t" in
    fuzz_seen_list | fuzz_settings) max_len=2048 ;;
    *) max_len=8192 ;;
  esac
  log="$build/$t.log"
  echo "== $t =="
  # One target at a time, at the lowest priority: the machine is shared. The fuzzing process
  # itself grows to 1-2 GB over minutes (its allocator's caches; one input repeated stays flat),
  # so the memory limit is above that, while one allocation of over 1 GB still counts as a crash.
  if nice -n 19 "$build/fuzz/$t" "${limit[@]}" -print_final_stats=1 -max_len="$max_len" -rss_limit_mb=4096 -malloc_limit_mb=1024 \
      -artifact_prefix="$build/artifacts/$t-" "$work" "fuzz/corpus/$t" >"$log" 2>&1; then
    result=ok
  else
    result=FAILED
    status=1
    tail -n 40 "$log"
  fi
  runs="$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')"
  summary+=("$(printf '%-20s %12s executions  %s' "$t" "$runs" "$result")")
done
echo "== Fuzzing summary =="
printf '%s\n' "${summary[@]}"
exit "$status"
