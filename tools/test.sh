#!/usr/bin/env bash
# Builds and tests everything, from a fresh clone on Debian:
#   1. native build with warnings as errors, then ctest: unit and whole-run
#      tests, the command-line host's tests, and (with the mingw-w64 tools)
#      the cross-build of Roomstat_32.xfm and its inspection;
#   2. the test binary with AddressSanitizer and UndefinedBehaviorSanitizer,
#      then ctest;
#   3. the test binary for 32-bit x86 Linux (-m32, static), then ctest under
#      qemu-i386-static;
#   4. the libFuzzer targets (clang), each for ROOMSTAT_FUZZ_SECONDS (60).
# Run as root, it first installs the Debian packages that are missing.
# Every stage runs even if an earlier one failed; the last line sums up, and
# the exit status is non-zero when any stage failed.
#
# Environment: ROOMSTAT_BUILD_ROOT (default: <repo>/build-test) holds the
# three build directories; ROOMSTAT_JOBS (default 2) the parallel jobs.
set -u

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_root=${ROOMSTAT_BUILD_ROOT:-$repo/build-test}
jobs=${ROOMSTAT_JOBS:-2}

packages=(g++ g++-multilib cmake make libgtest-dev googletest libbenchmark-dev libsndfile1-dev pkg-config
          g++-mingw-w64-i686 binutils-mingw-w64-i686 icoutils qemu-user-static python3 clang libclang-rt-14-dev)

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
    echo "test.sh: missing Debian packages (run as root to install them): ${missing[*]}" >&2
    return 0
  fi
  echo "test.sh: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q && apt-get install -y -q --no-install-recommends "${missing[@]}"
}

if command -v dpkg-query >/dev/null 2>&1; then
  if ! install_missing_packages; then
    echo "test.sh: package installation failed" >&2
    exit 1
  fi
fi

summary=()
failed=0

# run_stage NAME COMMAND...: runs one stage, records its result and wall time.
run_stage() {
  local name=$1 start end status
  shift
  echo
  echo "=== $name ==="
  start=$(date +%s)
  "$@"
  status=$?
  end=$(date +%s)
  if [ $status -eq 0 ]; then
    summary+=("$name ok ($((end - start)) s)")
  else
    summary+=("$name FAILED ($((end - start)) s)")
    failed=1
  fi
}

native() {
  local dir=$build_root/native
  cmake -S "$repo" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DROOMSTAT_WERROR=ON &&
    cmake --build "$dir" --parallel "$jobs" &&
    ctest --test-dir "$dir" --output-on-failure --no-tests=error --parallel "$jobs"
}

sanitize() {
  local dir=$build_root/sanitize
  cmake -S "$repo" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DROOMSTAT_SANITIZE=ON \
        -DROOMSTAT_BUILD_CLI=OFF -DROOMSTAT_BUILD_BENCHMARKS=OFF -DROOMSTAT_DLL_CHECK=OFF &&
    cmake --build "$dir" --parallel "$jobs" --target roomstat_tests &&
    ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1} \
    UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
    ctest --test-dir "$dir" --output-on-failure --no-tests=error --parallel "$jobs"
}

i386() {
  local dir=$build_root/i386
  cmake -S "$repo" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/linux-i386.cmake" &&
    cmake --build "$dir" --parallel "$jobs" --target roomstat_tests &&
    ctest --test-dir "$dir" --output-on-failure --no-tests=error --parallel "$jobs"
}

total_start=$(date +%s)
run_stage "native -Werror + ctest (with DLL inspection)" native
run_stage "ASan+UBSan tests" sanitize
run_stage "32-bit x86 tests under qemu" i386
run_stage "libFuzzer targets (${ROOMSTAT_FUZZ_SECONDS:-60} s each)" \
  env ROOMSTAT_FUZZ_BUILD="$build_root/fuzz" ROOMSTAT_JOBS="$jobs" "$repo/tools/fuzz.sh"
total_end=$(date +%s)

echo
echo "=== summary ==="
for line in "${summary[@]}"; do
  echo "  $line"
done
if [ $failed -eq 0 ]; then
  echo "test.sh: ALL PASSED in $((total_end - total_start)) s"
else
  echo "test.sh: FAILED in $((total_end - total_start)) s"
fi
exit $failed
