#!/usr/bin/env bash
# Builds the roomstat command-line host and analyses a bundled example
# impulse response (a binaural clap recording), printing the results table.
# Run as root on Debian, it first installs the packages that are missing.
#
# Environment: ROOMSTAT_BUILD_DIR (default: <repo>/build-example),
# ROOMSTAT_JOBS (default 2). Extra arguments go to roomstat, e.g.
#   tools/run-example.sh --third-octave
set -eu

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ROOMSTAT_BUILD_DIR:-$repo/build-example}
jobs=${ROOMSTAT_JOBS:-2}
packages=(g++ cmake make libsndfile1-dev libsoxr-dev pkg-config libgtest-dev googletest libbenchmark-dev
          nlohmann-json3-dev libfftw3-dev libjemalloc-dev)

if command -v dpkg-query >/dev/null 2>&1; then
  missing=()
  for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$package")
    fi
  done
  if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" -eq 0 ]; then
      echo "run-example.sh: installing ${missing[*]}" >&2
      export DEBIAN_FRONTEND=noninteractive
      apt-get update -q >&2
      apt-get install -y -q --no-install-recommends "${missing[@]}" >&2
    else
      echo "run-example.sh: missing Debian packages (run as root to install them): ${missing[*]}" >&2
    fi
  fi
fi

echo "run-example.sh: building roomstat in $build" >&2
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target roomstat -j "$jobs" >/dev/null

cd "$repo"
echo "run-example.sh: $build/roomstat --format table examples/binaural_clap.wav" >&2
exec "$build/roomstat" --format table "$@" examples/binaural_clap.wav
