// Interaural cross-correlation: IACC, W IACC and Tau IACC of one band.
#pragma once

#include <cstdint>
#include <span>

#include "dsp/part_runner.h"

enum IaccStatus : uint8_t {
  IACC_OK = 0,
  IACC_NO_ARRIVAL,        // Lin: the lateral pass found no first arrivals
  IACC_WINDOW_TOO_SHORT,  // Lin: the first arrival leaves no window before the end margin
  IACC_NO_WINDOW,         // a band after Lin, when Lin fixed no window in this run (or it does not fit)
  IACC_BLANK_NEEDED,      // the window starts less than one lag limit into the selection
  IACC_ZERO_ENERGY,       // a channel has no energy in the window: no normalised correlation
  IACC_NO_SETTINGS,       // not attempted: the settings block could not be locked
};

// The integration window, sample indices of its first and last sample.
struct IaccWindow {
  int64_t start;
  int64_t end;
};

struct IaccValues {
  double iacc;     // largest |normalised correlation| over lags within one millisecond
  double wIacc;    // ms, width of the lag interval at or above 90 % of the peak; 0 when a crossing is missing
  double tauIacc;  // ms, lag of the peak, negative when the right signal comes later
};

// Lin's window: from the earlier of the two first arrivals (-1: none) to a
// margin before the end of a selection of `length` samples.
IaccStatus FixIaccWindow(int64_t arrivalLeft, int64_t arrivalRight, int64_t length, int32_t rateHz,
                         IaccWindow* window);
// A kernel of the correlation: adds the products of one block of samples
// to the sums of `lags` consecutive lags, sums[k] += left[j] * right[j + k]
// for j = 0 .. samples - 1 in this order, in double.
struct LagKernel {
  const char* name;
  int64_t lags;    // lags per call
  bool (*runs)();  // whether this processor executes it
  void (*add)(const double* left, const double* right, int64_t samples, double* sums);
};
// The kernels this build contains, widest first; the last, plain one runs on
// every processor. Each gives the same bits.
std::span<const LagKernel> LagKernels();
// Maximum number of consecutive lags that CorrelateLags takes.
constexpr int64_t MAX_KEPT_LAGS = 1023;
// out[k] = (sum over i = start..end of left[i] * right[i + firstLag + k]) /
// normaliser for k < count <= MAX_KEPT_LAGS, each sum taken in double in the
// order of i; right[start + firstLag .. end + firstLag + count - 1] is read.
// With a runner, the lags are swept in up to six parts of whole kernel groups.
void CorrelateLags(const float* left, const float* right, int64_t start, int64_t end, int64_t firstLag,
                   int64_t count, double normaliser, double* out, const PartRunner* runner = nullptr);
// CorrelateLags with the given kernel (one that runs here); CorrelateLags
// itself takes the widest that the processor runs.
void CorrelateLagsWith(const LagKernel& kernel, const float* left, const float* right, int64_t start,
                       int64_t end, int64_t firstLag, int64_t count, double normaliser, double* out);
// The correlation of one band over `window`; `values` is written only when
// the status is IACC_OK. A runner (null: none) may sweep the lags on more
// than one core.
IaccStatus ComputeIacc(const float* left, const float* right, int64_t length, int32_t rateHz,
                       IaccWindow window, IaccValues* values, const PartRunner* runner = nullptr);
