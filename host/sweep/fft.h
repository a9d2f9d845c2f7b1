// Real FFTs of any length through FFTW (double precision). Plans are made
// once per length and kept for the life of the program; making a plan is
// guarded by a mutex (FFTW's planner is not thread-safe), executing one is
// not (FFTW's new-array execute is), so analyses may run on several threads.
#pragma once

#include <complex>
#include <cstddef>
#include <vector>

namespace sweep {

// The smallest length >= `minimum` whose only prime factors are 2, 3 and 5.
size_t FastFftLength(size_t minimum);

// Spectrum (length / 2 + 1 bins) of `signal` zero-padded to `length`
// (signal.size() <= length).
std::vector<std::complex<double>> RealSpectrum(const std::vector<double>& signal, size_t length);

// The signal of `length` samples whose spectrum is `spectrum` (length / 2 + 1
// bins), scaled so that RealSignal(RealSpectrum(x, n), n) == x.
std::vector<double> RealSignal(const std::vector<std::complex<double>>& spectrum, size_t length);

}  // namespace sweep
