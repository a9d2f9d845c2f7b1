// Interaural cross-correlation of a two-channel response taken as left and
// right ear signals: IACC (largest |normalised correlation| over lags within
// one millisecond), Tau IACC (the lag of that maximum, ms, sign reversed so
// that a later right signal gives a negative value) and W IACC (width in ms
// of the lag interval around the maximum that stays at or above 90 % of it).
//
// Lin (band 0) fixes the integration window from the first arrivals that
// its lateral-fraction step found; the octave bands reuse it.
#include "acoustics/iacc.h"

#include <cmath>

#include "interface/build_guard.h"

// Wider vectors for the lag search where the processor has them, chosen at
// run time; not in the Windows module (its 32-bit stack is not aligned for
// them), which keeps SSE2.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__)) && !defined(_WIN32)
#define ROOMSTAT_AVX2_AT_RUN_TIME 1
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr int64_t END_MARGIN_SAMPLES = 50;  // the window ends this many samples before the end

// Normalised cross-correlation at one lag over the window [start, end].
double CorrelationAt(const float* left, const float* right, int64_t start, int64_t end, int64_t lag,
                     double normaliser) {
  double sum = 0.0;
  for (int64_t i = start; i <= end; ++i) sum += static_cast<double>(left[i]) * right[i + lag];
  return sum / normaliser;
}

// Products of one block of the window, added to the sums of consecutive
// lags: sums[k] += left[j] * right[j + k] for j = 0, 1, ... in this order,
// so that each lag's sum is the same as CorrelationAt's. The vector kernels
// keep lags side by side in lanes and do each lane's additions in the same
// order; the samples are floats widened to double, so that each product is
// the same exact product. A kernel sums a fixed group of lags per call.

// One lag.
void AddProductsPlain(const double* left, const double* right, int64_t count, double* sums) {
  double sum = sums[0];
  for (int64_t j = 0; j < count; ++j) sum += left[j] * right[j];
  sums[0] = sum;
}

bool AlwaysRuns() { return true; }

#if defined(__SSE2__)
// 8 lags.
void AddProductsSse2(const double* left, const double* right, int64_t count, double* sums) {
  constexpr int REGISTERS = 4;
  __m128d s[REGISTERS];
  for (int v = 0; v < REGISTERS; ++v) s[v] = _mm_loadu_pd(sums + 2 * v);
  for (int64_t j = 0; j < count; ++j) {
    const __m128d x = _mm_set1_pd(left[j]);
    for (int v = 0; v < REGISTERS; ++v)
      s[v] = _mm_add_pd(s[v], _mm_mul_pd(x, _mm_loadu_pd(right + j + 2 * v)));
  }
  for (int v = 0; v < REGISTERS; ++v) _mm_storeu_pd(sums + 2 * v, s[v]);
}
#endif

#if defined(ROOMSTAT_AVX2_AT_RUN_TIME)
// 32 lags.
__attribute__((target("avx2"))) void AddProductsAvx2(const double* left, const double* right, int64_t count,
                                                     double* sums) {
  constexpr int REGISTERS = 8;
  __m256d s[REGISTERS];
  for (int v = 0; v < REGISTERS; ++v) s[v] = _mm256_loadu_pd(sums + 4 * v);
  for (int64_t j = 0; j < count; ++j) {
    const __m256d x = _mm256_broadcast_sd(left + j);
    for (int v = 0; v < REGISTERS; ++v)
      s[v] = _mm256_add_pd(s[v], _mm256_mul_pd(x, _mm256_loadu_pd(right + j + 4 * v)));
  }
  for (int v = 0; v < REGISTERS; ++v) _mm256_storeu_pd(sums + 4 * v, s[v]);
}

bool HasAvx2() { return __builtin_cpu_supports("avx2"); }
#endif

// Widest first; the plain kernel, last, runs everywhere.
constexpr LagKernel LAG_KERNELS[] = {
#if defined(ROOMSTAT_AVX2_AT_RUN_TIME)
    {"avx2", 32, HasAvx2, AddProductsAvx2},
#endif
#if defined(__SSE2__)
    {"sse2", 8, AlwaysRuns, AddProductsSse2},
#endif
    {"plain", 1, AlwaysRuns, AddProductsPlain},
};
constexpr int64_t LAG_KERNEL_COUNT = sizeof(LAG_KERNELS) / sizeof(LAG_KERNELS[0]);

// The lags are summed in groups as wide as the kernel, the last group
// padded: its lags past `count` read zeros and their sums are dropped.
constexpr int64_t WIDEST_GROUP = 32;
static_assert(LAG_KERNELS[0].lags <= WIDEST_GROUP);

// Samples of the window per block: the block of both channels stays in the
// first-level cache while every lag sweeps it.
constexpr int64_t BLOCK_SAMPLES = 1024;

// Positive lags read up to end + lagLimit - 1: ending the window at least
// lagLimit samples before the end keeps every lag inside the selection.
int64_t EndMargin(int64_t lagLimit) { return lagLimit > END_MARGIN_SAMPLES ? lagLimit : END_MARGIN_SAMPLES; }

}  // namespace

std::span<const LagKernel> LagKernels() { return {LAG_KERNELS, LAG_KERNEL_COUNT}; }

// Correlations are kept for the second pass up to MAX_KEPT_LAGS lags (rates
// up to 512 kHz); above it the second pass computes them again.
void CorrelateLagsWith(const LagKernel& kernel, const float* left, const float* right, int64_t start,
                       int64_t end, int64_t firstLag, int64_t count, double normaliser, double* out) {
  const int64_t padded = (count + kernel.lags - 1) / kernel.lags * kernel.lags;
  double sums[MAX_KEPT_LAGS + WIDEST_GROUP - 1] = {};
  double l[BLOCK_SAMPLES];
  double r[BLOCK_SAMPLES + MAX_KEPT_LAGS + WIDEST_GROUP - 2];
  for (int64_t block = start; block <= end; block += BLOCK_SAMPLES) {
    const int64_t samples = end - block + 1 < BLOCK_SAMPLES ? end - block + 1 : BLOCK_SAMPLES;
    // The block in double, once for all lags: l[j] is left[block + j] and
    // r[j + k] is right[block + j + firstLag + k] (start + firstLag >= 1: the
    // window starts at least one lag limit into the selection), then the
    // padding's zeros.
    for (int64_t j = 0; j < samples; ++j) l[j] = static_cast<double>(left[block + j]);
    for (int64_t j = 0; j < samples + count - 1; ++j) r[j] = static_cast<double>(right[block + firstLag + j]);
    for (int64_t j = samples + count - 1; j < samples + padded - 1; ++j) r[j] = 0.0;
    for (int64_t k = 0; k < padded; k += kernel.lags) kernel.add(l, r + k, samples, sums + k);
  }
  for (int64_t k = 0; k < count; ++k) out[k] = sums[k] / normaliser;
}

namespace {

// Parts of a sweep: a thread that finishes its part early takes another,
// so that a core busy with other work for a while still shares the sweep.
// Each part repeats the widening of the window's samples, a small share of
// its work for a group of kernel calls.
constexpr int64_t SWEEP_PARTS = 6;

// One sweep over the window for a run of consecutive lags.
struct LagSweep {
  const LagKernel* kernel;
  const float* left;
  const float* right;
  int64_t start, end, firstLag, count;
  int64_t groups, parts;  // kernel calls' lag groups; parts, each of whole groups
  double normaliser;
  double* out;
};

// The lags of one part, split where a kernel call's lags end, so that no
// part sweeps padding the whole would not.
void SweepPart(void* context, int part) {
  const LagSweep& sweep = *static_cast<const LagSweep*>(context);
  const int64_t lags = sweep.kernel->lags;
  const int64_t from = sweep.groups * part / sweep.parts * lags;
  const int64_t next = sweep.groups * (part + 1) / sweep.parts * lags;
  const int64_t to = next < sweep.count ? next : sweep.count;
  if (to > from) {
    CorrelateLagsWith(*sweep.kernel, sweep.left, sweep.right, sweep.start, sweep.end, sweep.firstLag + from,
                      to - from, sweep.normaliser, sweep.out + from);
  }
}

}  // namespace

void CorrelateLags(const float* left, const float* right, int64_t start, int64_t end, int64_t firstLag,
                   int64_t count, double normaliser, double* out, const PartRunner* runner) {
  // The widest kernel this processor runs, asked on each call: a guarded
  // static would pull the runtime's thread primitives into the module.
  const LagKernel* chosen = &LAG_KERNELS[LAG_KERNEL_COUNT - 1];
  for (const LagKernel& kernel : LAG_KERNELS) {
    if (kernel.runs()) {
      chosen = &kernel;
      break;
    }
  }
  if (runner == nullptr || count <= chosen->lags) {
    CorrelateLagsWith(*chosen, left, right, start, end, firstLag, count, normaliser, out);
    return;
  }
  const int64_t groups = (count + chosen->lags - 1) / chosen->lags;
  const int64_t parts = groups < SWEEP_PARTS ? groups : SWEEP_PARTS;
  LagSweep sweep{chosen, left, right, start, end, firstLag, count, groups, parts, normaliser, out};
  runner->run(runner->context, static_cast<int>(parts), &SweepPart, &sweep);
}

IaccStatus FixIaccWindow(int64_t arrivalLeft, int64_t arrivalRight, int64_t length, int32_t rateHz,
                         IaccWindow* window) {
  const int64_t endMargin = EndMargin(rateHz / 1000);
  const int64_t start = arrivalLeft < arrivalRight ? arrivalLeft : arrivalRight;
  if (start == length || start < 0) return IACC_NO_ARRIVAL;
  if (start >= length - endMargin) return IACC_WINDOW_TOO_SHORT;
  window->start = start;
  window->end = length - endMargin;
  return IACC_OK;
}

IaccStatus ComputeIacc(const float* left, const float* right, int64_t length, int32_t rateHz,
                       IaccWindow window, IaccValues* values, const PartRunner* runner) {
  const int64_t lagLimit = rateHz / 1000;
  const int64_t endMargin = EndMargin(lagLimit);
  const int64_t start = window.start;
  const int64_t end = window.end;
  if (start > end || end > length - endMargin) return IACC_NO_WINDOW;
  if (start - lagLimit < 0) return IACC_BLANK_NEEDED;

  // The two energies in one loop, each summed in window order.
  double energyLeft = 0.0;
  double energyRight = 0.0;
  for (int64_t i = start; i <= end; ++i) {
    energyLeft += static_cast<double>(left[i]) * left[i];
    energyRight += static_cast<double>(right[i]) * right[i];
  }
  const double normaliser = std::sqrt(energyLeft * energyRight);
  if (normaliser == 0.0) return IACC_ZERO_ENERGY;

  const int64_t firstLag = -(lagLimit - 1);
  const int64_t lastLag = lagLimit - 1;
  const int64_t lagCount = lastLag - firstLag + 1;
  double kept[MAX_KEPT_LAGS];
  const bool keep = lagCount <= MAX_KEPT_LAGS;

  // First pass: the largest magnitude.
  double peak = 0.0;
  if (keep) {
    CorrelateLags(left, right, start, end, firstLag, lagCount, normaliser, kept, runner);
    for (int64_t k = 0; k < lagCount; ++k) {
      if (std::fabs(kept[k]) > peak) peak = std::fabs(kept[k]);
    }
  } else {
    for (int64_t lag = firstLag; lag <= lastLag; ++lag) {
      const double c = CorrelationAt(left, right, start, end, lag, normaliser);
      if (std::fabs(c) > peak) peak = std::fabs(c);
    }
  }

  // Second pass: the 90 % crossings around the peak and the peak's lag.
  const double threshold = 0.9 * peak;
  bool haveLow = false, haveMax = false, haveHigh = false, haveMagnitude = false;
  int64_t lagLow = 0, lagMax = 0, lagHigh = 0, lagMagnitude = 0;
  for (int64_t lag = firstLag; lag <= lastLag; ++lag) {
    const double c = keep ? kept[lag - firstLag] : CorrelationAt(left, right, start, end, lag, normaliser);
    if (c >= threshold && !haveLow) {
      lagLow = lag;
      haveLow = true;
    }
    if (c == peak) {
      lagMax = lag;
      haveMax = true;
    }
    if (c <= threshold && haveMax && !haveHigh) {
      lagHigh = lag;
      haveHigh = true;
    }
    if (std::fabs(c) == peak && !haveMagnitude) {
      lagMagnitude = lag;
      haveMagnitude = true;
    }
  }
  // A peak reached by a negative correlation: its lag is the first one whose
  // magnitude equals IACC; no 90 % crossing surrounds it.
  if (!haveMax && haveMagnitude) lagMax = lagMagnitude;

  values->iacc = peak;
  // 0 marks a width that cannot be measured (a crossing is missing).
  const int64_t width = lagHigh - lagLow;
  values->wIacc = haveLow && haveHigh ? static_cast<double>(width < 0 ? -width : width) / rateHz * 1000 : 0.0;
  values->tauIacc = static_cast<double>(-lagMax) / rateHz * 1000;
  return IACC_OK;
}
