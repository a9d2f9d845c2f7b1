#include "host/sweep/fft.h"

#include <fftw3.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>

#include "host/kit/lazy_library.h"

namespace sweep {
namespace {

// FFTW is loaded when a transform is first asked for: loading it costs every
// start of the program about 1.5 ms (the relocations of its codelet tables),
// and only sweeps and deconvolution transform. Its shared object's name
// carries the ABI version that fftw3.h describes.
constexpr const char* FFTW_LIBRARY = "libfftw3.so.3";

struct Fftw {
  decltype(&fftw_alloc_real) allocReal;
  decltype(&fftw_alloc_complex) allocComplex;
  decltype(&fftw_free) free;
  decltype(&fftw_plan_dft_r2c_1d) planForward;
  decltype(&fftw_plan_dft_c2r_1d) planBackward;
  decltype(&fftw_execute_dft_r2c) executeForward;
  decltype(&fftw_execute_dft_c2r) executeBackward;
};

// The library's functions; throws when it cannot be loaded.
const Fftw& LoadedFftw() {
  static const Fftw fftw = [] {
    hostkit::LazyLibrary library(FFTW_LIBRARY);
    Fftw f{};
    library.Resolve("fftw_alloc_real", &f.allocReal);
    library.Resolve("fftw_alloc_complex", &f.allocComplex);
    library.Resolve("fftw_free", &f.free);
    library.Resolve("fftw_plan_dft_r2c_1d", &f.planForward);
    library.Resolve("fftw_plan_dft_c2r_1d", &f.planBackward);
    library.Resolve("fftw_execute_dft_r2c", &f.executeForward);
    library.Resolve("fftw_execute_dft_c2r", &f.executeBackward);
    library.RequireAll();
    return f;
  }();
  return fftw;
}

// FFTW's aligned arrays.
struct FftwFree {
  void operator()(void* p) const { LoadedFftw().free(p); }
};
using RealBuffer = std::unique_ptr<double, FftwFree>;
using ComplexBuffer = std::unique_ptr<fftw_complex, FftwFree>;

RealBuffer NewReal(size_t count) { return RealBuffer(LoadedFftw().allocReal(count)); }
ComplexBuffer NewComplex(size_t count) { return ComplexBuffer(LoadedFftw().allocComplex(count)); }

struct PlanPair {
  fftw_plan forward = nullptr;   // real to complex
  fftw_plan backward = nullptr;  // complex to real (destroys its input)
};

// Plans are shared by every thread and never destroyed (FFTW keeps its own
// wisdom until exit as well).
PlanPair PlansFor(size_t length) {
  static std::mutex mutex;
  static std::map<size_t, PlanPair> plans;
  std::lock_guard<std::mutex> lock(mutex);
  auto found = plans.find(length);
  if (found != plans.end()) return found->second;
  RealBuffer real = NewReal(length);
  ComplexBuffer bins = NewComplex(length / 2 + 1);
  const int n = static_cast<int>(length);
  PlanPair pair;
  pair.forward = LoadedFftw().planForward(n, real.get(), bins.get(), FFTW_ESTIMATE);
  pair.backward = LoadedFftw().planBackward(n, bins.get(), real.get(), FFTW_ESTIMATE | FFTW_DESTROY_INPUT);
  plans.emplace(length, pair);
  return pair;
}

}  // namespace

size_t FastFftLength(size_t minimum) {
  size_t best = 1;
  while (best < minimum) best *= 2;
  for (size_t p5 = 1; p5 < best; p5 *= 5) {
    for (size_t p3 = p5; p3 < best; p3 *= 3) {
      size_t candidate = p3;
      while (candidate < minimum) candidate *= 2;
      best = std::min(best, candidate);
    }
  }
  return best;
}

std::vector<std::complex<double>> RealSpectrum(const std::vector<double>& signal, size_t length) {
  const size_t binCount = length / 2 + 1;
  RealBuffer real = NewReal(length);
  ComplexBuffer bins = NewComplex(binCount);
  const size_t used = std::min(signal.size(), length);
  std::copy(signal.begin(), signal.begin() + static_cast<std::ptrdiff_t>(used), real.get());
  std::fill(real.get() + used, real.get() + length, 0.0);
  LoadedFftw().executeForward(PlansFor(length).forward, real.get(), bins.get());
  std::vector<std::complex<double>> spectrum(binCount);
  for (size_t k = 0; k < binCount; ++k) spectrum[k] = {bins.get()[k][0], bins.get()[k][1]};
  return spectrum;
}

std::vector<double> RealSignal(const std::vector<std::complex<double>>& spectrum, size_t length) {
  const size_t binCount = length / 2 + 1;
  RealBuffer real = NewReal(length);
  ComplexBuffer bins = NewComplex(binCount);
  for (size_t k = 0; k < binCount; ++k) {
    const std::complex<double> value = k < spectrum.size() ? spectrum[k] : std::complex<double>();
    bins.get()[k][0] = value.real();
    bins.get()[k][1] = value.imag();
  }
  LoadedFftw().executeBackward(PlansFor(length).backward, bins.get(), real.get());
  const double scale = 1.0 / static_cast<double>(length);
  std::vector<double> signal(length);
  for (size_t n = 0; n < length; ++n) signal[n] = real.get()[n] * scale;
  return signal;
}

}  // namespace sweep
