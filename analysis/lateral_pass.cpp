// The lateral pass. Each band fetches the selection again, filters both
// channels with the resonator octave filter (Lin stays unfiltered), and
// computes LF and the interaural cross-correlation. Lin's first arrivals and
// correlation window pass to the other bands through the settings record,
// which the run marks invalid before the pass, so that a band never uses
// what an earlier run left there: when Lin stops with a message, the other
// bands are skipped silently. Failures are shown where they happen, as
// message boxes with the captions "LF" and "IACC"; a failed LF is stored as
// 1.0, a failed correlation leaves its cells at 0.
#include "analysis/lateral_pass.h"

#include "acoustics/iacc.h"
#include "acoustics/lateral.h"
#include "analysis/lateral_band_signals.h"
#include "analysis/run_watch.h"
#include "analysis/stop_messages.h"
#include "hostlink/host_services.h"
#include "interface/bands.h"

namespace {

constexpr double LF_FAILED = 1.0;
constexpr int THIRD_OCTAVE_PROGRESS_TOTAL = 27;

// Nearest single-precision value to 1/2.1: a lateral band runs only while its
// centre does not exceed this fraction of the rate.
constexpr float BAND_LIMIT_FACTOR = 0.4761905f;

int64_t SelectionLength(const XfmContext* ctx) {
  return static_cast<int64_t>(ctx->selEnd) - ctx->selStart + 1;
}

// LF of one band. Lin finds both first arrivals and leaves them in the
// settings record for the octave bands and for the correlation window.
double LateralFractionOfBand(const float* w, const float* y, int band, XfmContext* ctx, LateralTrace* trace) {
  AnalysisSettings* settings = LockSettings(ctx);
  if (settings == nullptr) {
    trace->lf = LATERAL_NO_SETTINGS;
    return LF_FAILED;
  }
  const int64_t length = SelectionLength(ctx);
  const double boostDb = settings->boostDb;

  LateralArrivals arrivals;
  if (band == 0) {
    const uint32_t searched = length > 0 ? static_cast<uint32_t>(length) : 0;
    const LateralStatus found =
        FindLateralArrivals(w, y, searched, settings->wThreshold, settings->yThreshold, &arrivals);
    if (found != LATERAL_OK) {
      UnlockSettings(ctx);
      trace->lf = found;
      ShowStopMessage(0, LateralMessage(found), LF_CAPTION);
      return LF_FAILED;
    }
    settings->arrivalLeft = static_cast<int16_t>(arrivals.w);
    settings->arrivalRight = static_cast<int16_t>(arrivals.y);
  } else {
    arrivals = LateralArrivals{settings->arrivalLeft, settings->arrivalRight};
  }
  trace->arrivals = arrivals;
  const uint16_t bits = ctx->bitsPerSample;
  UnlockSettings(ctx);

  double lf = LF_FAILED;
  const LateralStatus status =
      ComputeLateralFraction(w, y, length, ctx->sampleRate, bits, boostDb, arrivals, &lf);
  trace->lf = status;
  if (const char* message = LateralMessage(status)) ShowStopMessage(0, message, LF_CAPTION);
  // A zero W energy gives a ratio that is not finite, shown as missing.
  return status == LATERAL_OK || status == LATERAL_ZERO_DENOMINATOR ? lf : LF_FAILED;
}

// IACC, W IACC and Tau IACC of one band into the store. Lin fixes the
// correlation window, and keeps it for the other bands only once it has
// passed every check.
void CorrelationOfBand(const float* left, const float* right, int band, XfmContext* ctx,
                       AcousticResults* store, LateralTrace* trace, const PartRunner* runner) {
  trace->iaccComputed = true;
  AnalysisSettings* settings = LockSettings(ctx);
  if (settings == nullptr) {
    trace->iacc = IACC_NO_SETTINGS;
    return;
  }
  const int64_t length = SelectionLength(ctx);
  const int32_t rateHz = ctx->sampleRate;
  IaccWindow window;
  if (band == 0) {
    const IaccStatus fixed =
        FixIaccWindow(settings->arrivalLeft, settings->arrivalRight, length, rateHz, &window);
    if (fixed != IACC_OK) {
      UnlockSettings(ctx);
      trace->iacc = fixed;
      ShowStopMessage(0, IaccMessage(fixed), IACC_CAPTION);
      return;
    }
  } else {
    window = IaccWindow{settings->iaccStart, settings->iaccEnd};
  }
  UnlockSettings(ctx);

  IaccValues values;
  const IaccStatus status = ComputeIacc(left, right, length, rateHz, window, &values, runner);
  trace->iacc = status;
  if (status != IACC_OK) {
    if (const char* message = IaccMessage(status)) ShowStopMessage(0, message, IACC_CAPTION);
    return;
  }
  if (band == 0) {
    settings = LockSettings(ctx);
    if (settings != nullptr) {
      settings->iaccStart = static_cast<uint32_t>(window.start);
      settings->iaccEnd = static_cast<uint32_t>(window.end);
      UnlockSettings(ctx);
    }
  }
  store->iacc[band] = values.iacc;
  store->wIacc[band] = values.wIacc;
  store->tauIacc[band] = values.tauIacc;
}

// The centre of an octave band of the lateral pass; 0 for Lin, which stays
// unfiltered, and for a band beyond the band limit or the table, which does
// not run.
float LateralCentreHz(int band, float bandLimitHz) {
  if (band < 1 || band >= OCTAVE_ROWS) return 0.0f;
  const float centreHz = OCTAVE_BANDS[band].nominalHz;
  return centreHz > bandLimitHz ? 0.0f : centreHz;
}

}  // namespace

const char* LateralMessage(LateralStatus status) {
  switch (status) {
    case LATERAL_NO_ARRIVAL_W:
    case LATERAL_W_BEYOND_INDEX:
      return "Left Channel: can't calculate first arrival time \nChoose an higher value, please!";
    case LATERAL_NO_ARRIVAL_Y:
    case LATERAL_Y_BEYOND_INDEX:
      return "Right Channel: can't calculate first arrival time \nChoose an higher value, please!";
    case LATERAL_WINDOW_BEYOND_END:
      return "Select a longer wave, please!";
    default:
      return nullptr;
  }
}

const char* IaccMessage(IaccStatus status) {
  switch (status) {
    case IACC_NO_ARRIVAL:
      return "Can't calculate t1";
    case IACC_WINDOW_TOO_SHORT:
      return "Select a longer wave, please!";
    case IACC_BLANK_NEEDED:
      return "Insert blank at the start";
    case IACC_ZERO_ENERGY:
      return "Can't calculate IACC: divide by 0";
    default:
      return nullptr;
  }
}

void RunOctaveLateralPass(XfmContext* ctx, const SelectionFormat& format, void* raw, float* left,
                          float* right, size_t pairCapacityBytes, AcousticResults* store) {
  const float rateHz = static_cast<float>(ctx->sampleRate);
  const float bandLimitHz = ctx->sampleRate * BAND_LIMIT_FACTOR;
  LateralBandSignals signals;
  StartBandSignals(&signals, format, raw, rateHz, left, right, pairCapacityBytes, LentParts());
  CallProgress(ctx, 0, OCTAVE_ROWS);
  for (int band = 0; band < OCTAVE_ROWS; ++band) {
    const float centreHz = LateralCentreHz(band, bandLimitHz);
    if (band >= 1 && centreHz == 0.0f) return;
    FetchSelection(ctx, format, raw);
    const BandPair pair = BandSignalsOf(&signals, band, centreHz);
    store->iacc[band] = 0.0;
    store->wIacc[band] = 0.0;
    store->tauIacc[band] = 0.0;
    const float nextHz = LateralCentreHz(band + 1, bandLimitHz);
    ArmNextBand(&signals, nextHz > 0.0f ? band + 1 : -1, nextHz);
    LateralTrace trace{band, LATERAL_OK, IACC_OK, false, LateralArrivals{-1, -1}};
    store->lf[band] = LateralFractionOfBand(pair.left, pair.right, band, ctx, &trace);
    CorrelationOfBand(pair.left, pair.right, band, ctx, store, &trace, SweepRunner(&signals));
    ReportLateral(trace);
    CallProgress(ctx, band + 1, OCTAVE_ROWS);
  }
}

void RunThirdOctaveLateralPass(XfmContext* ctx, const SelectionFormat& format, void* raw, float* left,
                               float* right, AcousticResults* store) {
  CallProgress(ctx, 0, THIRD_OCTAVE_PROGRESS_TOTAL);
  FetchSelection(ctx, format, raw);
  ConvertChannel(raw, format, 0, left);
  ConvertChannel(raw, format, 1, right);
  LateralTrace trace{0, LATERAL_OK, IACC_OK, false, LateralArrivals{-1, -1}};
  store->lf[0] = LateralFractionOfBand(left, right, 0, ctx, &trace);
  ReportLateral(trace);
  for (int done = 1; done <= THIRD_OCTAVE_PROGRESS_TOTAL; ++done) {
    CallProgress(ctx, done, THIRD_OCTAVE_PROGRESS_TOTAL);
  }
}
