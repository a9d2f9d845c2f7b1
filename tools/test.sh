#!/usr/bin/env bash
# Builds and tests everything, from a fresh clone on Debian. Run as root, it
# first installs the Debian packages that are missing. Then it runs every
# stage, even after a failure, and prints one line per stage (result, wall
# time, what it counted) and a closing line summing the tests of all stages:
#
#   test.sh: 190 passed, 0 failed
#
# A stage that failed without a test count (a build error) counts as one
# failed test there, so the line never reads "0 failed" when something did.
# The full output of each stage goes to <build root>/logs/<stage>.log;
# ROOMSTAT_TEST_VERBOSE=1 also prints the logs as the stages run, and the end
# of a failed stage's log is always printed.
#
# Nothing is skipped silently: the builds run with ROOMSTAT_REQUIRE_ALL, so a
# missing libsndfile, python3, mingw-w64 compiler or Google Benchmark stops
# the configure step with its name, and ctest fails on a test that did not run.
#
# Environment: ROOMSTAT_BUILD_ROOT (default: <repo>/build-test) holds the
# build directories and the logs; ROOMSTAT_JOBS (default 2) the parallel jobs.
set -u

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_root=${ROOMSTAT_BUILD_ROOT:-$repo/build-test}
jobs=${ROOMSTAT_JOBS:-2}
logs=$build_root/logs

packages=(g++ g++-multilib cmake make git libgtest-dev googletest libbenchmark-dev libsndfile1-dev libsoxr-dev
          pkg-config g++-mingw-w64-i686 binutils-mingw-w64-i686 icoutils qemu-user-static python3 clang-format cloc
          clang libclang-rt-14-dev)
packages+=(chromium)  # ctest's html_report_browser opens the HTML room report in headless Chromium
packages+=(nlohmann-json3-dev libfftw3-dev)  # the hosts: json writer, the sweep deconvolution
packages+=(libjemalloc-dev)  # roomstat's allocator (huge pages for a run's buffers)
packages+=(python3-matplotlib)  # the Python tests redraw a decay plot
packages+=(pybind11-dev python3-dev python3-numpy python3-pandas python3-dask python3-distributed python3-pytest)
packages+=(python3-soundfile python3-jsonschema)  # ctest cli_iso: synthetic responses, the json schema

install_missing_packages() {
  local missing=() package
  for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$package")
    fi
  done
  if [ ${#missing[@]} -eq 0 ]; then
    return 0
  fi
  if [ "$(id -u)" -ne 0 ]; then
    echo "test.sh: missing Debian packages (run as root to install them): ${missing[*]}"
    return 0  # the stages that need them fail and say what is missing
  fi
  echo "test.sh: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  { apt-get update -q && apt-get install -y -q --no-install-recommends "${missing[@]}"; } \
    >"$logs/packages.log" 2>&1
}

# --- Stages --------------------------------------------------------------------
# A stage is a command; its output goes to its log. Its line shows the
# counts found in the log (ctest's or pytest's summary), or else the log's
# last line, which a stage of our own makes its summary.

launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi

# build_and_test DIR TARGET CMAKE-ARGS...: configures with warnings as errors
# and nothing left out, builds TARGET (all when empty), runs ctest.
build_and_test() {
  local dir=$1 targets=()
  read -r -a targets <<<"$2"
  shift 2
  local build=(cmake --build "$dir" --parallel "$jobs")
  [ ${#targets[@]} -eq 0 ] || build+=(--target "${targets[@]}")
  cmake -S "$repo" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DROOMSTAT_WERROR=ON -DROOMSTAT_REQUIRE_ALL=ON \
        "${launcher[@]}" "$@" &&
    "${build[@]}" &&
    ctest --test-dir "$dir" --output-on-failure --no-tests=error --parallel "$jobs"
}

native() {
  build_and_test "$build_root/native" ""
}

sanitize() {
  ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1} \
  UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
    build_and_test "$build_root/sanitize" roomstat_tests -DROOMSTAT_SANITIZE=ON \
      -DROOMSTAT_BUILD_CLI=OFF -DROOMSTAT_BUILD_BENCHMARKS=OFF -DROOMSTAT_DLL_CHECK=OFF
}

# The paired filter arithmetic in plain doubles instead of SSE2 registers
# (dsp/lanes.h under ROOMSTAT_PORTABLE_LANES): the filter, IACC and whole-run
# tests hold it to the same bits.
portable() {
  build_and_test "$build_root/portable" roomstat_tests -DROOMSTAT_PORTABLE_LANES=ON \
    -DROOMSTAT_BUILD_CLI=OFF -DROOMSTAT_BUILD_BENCHMARKS=OFF -DROOMSTAT_DLL_CHECK=OFF
}

# The 32-bit tests, and Roomstat_32.xfm itself (the Release DLL, built with
# mingw-w64) loaded by the stand-in's PE loader and run through the same
# whole runs as the statically linked plug-in (ctest's dll.* tests).
i386() {
  build_and_test "$build_root/i386" "roomstat_tests roomstat_dll_tests roomstat_dll" \
    -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/linux-i386.cmake"
}

# Every tracked C++ file as Debian's clang-format (with .clang-format) would
# write it; lists the files that differ.
format() {
  command -v clang-format >/dev/null || { echo "clang-format missing (Debian package clang-format)"; return 1; }
  clang-format --version
  local files
  mapfile -t files < <(git -C "$repo" ls-files '*.cpp' '*.h')
  [ ${#files[@]} -gt 0 ] || { echo "no tracked C++ files (not a git checkout?)"; return 1; }
  local details=$logs/format-details.log status bad
  (cd "$repo" && clang-format --dry-run --Werror "${files[@]}") >"$details" 2>&1
  status=$?
  bad=$(grep -oE '^[^:]+:[0-9]+:[0-9]+: error' "$details" | cut -d: -f1 | sort -u)
  if [ -n "$bad" ]; then
    echo "not formatted (clang-format -i FILE rewrites one; each place is in $details):"
    printf '  %s\n' $bad
  fi
  echo "$(printf '%s\n' $bad | grep -c .) of ${#files[@]} files not formatted"
  return "$status"
}

# The Python module (a position-independent build) and its pytest suite under
# Debian's interpreter; any non-zero exit fails, 5 (no tests collected) too.
python_module() {
  local dir=$build_root/python
  cmake -S "$repo" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DROOMSTAT_WERROR=ON -DROOMSTAT_REQUIRE_ALL=ON \
        "${launcher[@]}" -DROOMSTAT_BUILD_PYTHON=ON -DPython_EXECUTABLE=/usr/bin/python3 \
        -DROOMSTAT_BUILD_BENCHMARKS=OFF -DROOMSTAT_DLL_CHECK=OFF &&
    cmake --build "$dir" --parallel "$jobs" --target roomstat_python roomstat &&
    PYTHONPATH=$dir/python ROOMSTAT_CLI=$dir/roomstat ROOMSTAT_EXAMPLES=$repo/examples \
      /usr/bin/python3 -m pytest -p no:cacheprovider "$repo/tests/python"
}

layers() {
  python3 "$repo/tools/check_layers.py" --root "$repo"
}

# --- Running and reporting -------------------------------------------------------

passed_total=0
failed_total=0
failed_stages=()

# counts LOG: prints "PASSED FAILED" from ctest's or pytest's summary lines.
counts() {
  local ctest_line pytest_line passed=0 failed=0 n
  while read -r ctest_line; do
    # "100% tests passed, 0 tests failed out of 190"
    n=$(sed -E 's/.*tests passed, ([0-9]+) tests? failed out of ([0-9]+).*/\1 \2/' <<<"$ctest_line")
    failed=$((failed + ${n% *}))
    passed=$((passed + ${n#* } - ${n% *}))
  done < <(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$1")
  while read -r pytest_line; do
    # "==== 12 passed, 1 failed in 3.2s ===="
    n=$(grep -oE '[0-9]+ passed' <<<"$pytest_line" | grep -oE '[0-9]+' || echo 0)
    passed=$((passed + n))
    n=$(grep -oE '[0-9]+ failed' <<<"$pytest_line" | grep -oE '[0-9]+' || echo 0)
    failed=$((failed + n))
  done < <(grep -E '^=+ .*[0-9]+ (passed|failed).* in [0-9.]+s' "$1")
  echo "$passed $failed"
}

# run_stage NAME COMMAND...: runs one stage with its output in logs/NAME.log
# and prints its line. To add a stage, add one run_stage line below.
run_stage() {
  local name=$1 log=$logs/$1.log start status seconds passed failed detail result=ok
  shift
  start=$(date +%s)
  if [ "${ROOMSTAT_TEST_VERBOSE:-0}" = 1 ]; then
    "$@" 2>&1 | tee "$log"
    status=${PIPESTATUS[0]}
  else
    "$@" >"$log" 2>&1
    status=$?
  fi
  seconds=$(($(date +%s) - start))
  read -r passed failed < <(counts "$log")
  if grep -q 'tests did not run' "$log"; then
    status=1  # ctest's list of skipped or disabled tests: nothing may be left out
  fi
  if [ $((passed + failed)) -gt 0 ]; then
    detail="$((passed + failed)) tests"
    [ "$failed" -gt 0 ] && detail+=", $failed failed"
  else
    detail=$(grep -v '^[[:space:]]*$' "$log" | tail -n 1 | cut -c1-100)
  fi
  if [ $status -ne 0 ]; then
    result=FAILED
    failed_stages+=("$name")
    [ "$failed" -eq 0 ] && failed=1
  fi
  passed_total=$((passed_total + passed))
  failed_total=$((failed_total + failed))
  printf '%-10s %-6s %5d s  %s\n' "$name" "$result" "$seconds" "$detail"
  if [ $status -ne 0 ] && [ "${ROOMSTAT_TEST_VERBOSE:-0}" != 1 ]; then
    echo "---- last lines of $log"
    tail -n 40 "$log" | sed 's/^/    /'
    echo "----"
  fi
}

mkdir -p "$logs"
if command -v dpkg-query >/dev/null 2>&1; then
  if ! install_missing_packages; then
    echo "test.sh: package installation failed, see $logs/packages.log"
    exit 1
  fi
fi
echo "test.sh: full logs in $logs/"
total_start=$(date +%s)

run_stage layers layers
run_stage format format
run_stage native native
run_stage sanitize sanitize
run_stage portable portable
run_stage i386 i386
run_stage fuzz env ROOMSTAT_FUZZ_BUILD="$build_root/fuzz" ROOMSTAT_JOBS="$jobs" "$repo/tools/fuzz.sh"
run_stage python python_module

if [ ${#failed_stages[@]} -eq 0 ]; then
  echo "test.sh: every stage passed in $(($(date +%s) - total_start)) s"
else
  echo "test.sh: FAILED stages: ${failed_stages[*]} ($(($(date +%s) - total_start)) s)"
fi
echo "test.sh: $passed_total passed, $failed_total failed"
[ ${#failed_stages[@]} -eq 0 ]
