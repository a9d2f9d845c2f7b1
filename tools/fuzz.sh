#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (AddressSanitizer,
# UndefinedBehaviorSanitizer with float-cast-overflow) and runs each from its
# seed corpus for a bounded time. Exits non-zero on any finding (a crash, a
# sanitizer report, a leak, a timeout) or when the build fails; the input
# that failed is left in the build directory as crash-*, leak-* or timeout-*.
#
#   tools/fuzz.sh [SECONDS]     seconds per target (default: $ROOMSTAT_FUZZ_SECONDS or 60)
#
# Environment: ROOMSTAT_FUZZ_BUILD (default <repo>/build-fuzz) the build
# directory, ROOMSTAT_JOBS (default 2) parallel compile jobs. Run longer by
# giving more seconds; new inputs that reach new code go to
# <build>/corpus-<target>, which a later run starts from again.
set -u

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ROOMSTAT_FUZZ_BUILD:-$repo/build-fuzz}
seconds=${1:-${ROOMSTAT_FUZZ_SECONDS:-60}}
jobs=${ROOMSTAT_JOBS:-2}
targets=(plugin_fuzz options_fuzz writers_fuzz)

if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz.sh: clang++ not found (Debian: apt-get install clang libclang-rt-14-dev)" >&2
  exit 1
fi
launcher=()
if command -v ccache >/dev/null 2>&1; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi

mkdir -p "$build"
if ! { cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
         -DCMAKE_CXX_COMPILER=clang++ -DROOMSTAT_FUZZ=ON -DROOMSTAT_BUILD_BENCHMARKS=OFF \
         -DROOMSTAT_DLL_CHECK=OFF "${launcher[@]}" &&
       cmake --build "$build" --parallel "$jobs" --target "${targets[@]}"; } > "$build/build.log" 2>&1; then
  tail -n 40 "$build/build.log" >&2
  echo "fuzz.sh: build failed; see $build/build.log" >&2
  exit 1
fi

status=0
for target in "${targets[@]}"; do
  corpus=$build/corpus-$target
  mkdir -p "$corpus"
  echo "fuzz.sh: $target for $seconds s"
  # -timeout: one input may take at most 25 s (a long selection at a high rate).
  if ! (cd "$build" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
        "./fuzz/$target" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 -max_len=32768 \
        -print_final_stats=1 "$corpus" "$repo/fuzz/corpus/$target" > "$build/$target.log" 2>&1); then
    echo "fuzz.sh: $target FOUND A PROBLEM; see $build/$target.log" >&2
    tail -n 40 "$build/$target.log" >&2
    status=1
  else
    grep -E "^stat::number_of_executed_units|^stat::peak_rss_mb" "$build/$target.log" | sed "s/^/  $target /"
  fi
done
exit $status
