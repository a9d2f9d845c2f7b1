// The host's second evaluation of a file, beside the plug-in's: ISO 3382-1/-2
// per channel and band (Lundeby truncation, validity, curvature, uncertainty,
// energy parameters from the ISO onset, single numbers), made from the same
// selection the plug-in is offered and the same band filters. Its values are
// labelled "ISO 3382" in every output and never mixed with the plug-in's.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

#include "acoustics/iso3382_decay.h"
#include "acoustics/iso3382_spatial.h"
#include "dsp/iso3382_band_signals.h"
#include "host/cli/options.h"

namespace cli {

struct IsoBandEvaluation {
  bool evaluated = false;  // false: the layout has the row but no band signal (the 16 kHz octave)
  int row = 0;
  double nominalHz = 0.0;  // nominal centre, 0 for broadband
  IsoBandResult result{};
  // Warnings that hold for every value of the band without making it
  // invalid (codes of IsoWarningSentence), e.g. a band filter that meets no
  // IEC 61260-1 class.
  std::vector<std::string> warnings;
  IsoDecayPlot plot;  // only when plots were asked for
};

struct IsoChannelEvaluation {
  double onsetSeconds = 0.0;             // from the start of the selection; NaN for a silent channel
  std::vector<IsoBandEvaluation> bands;  // one per row of the layout (bands.h), row order
  IsoSingleNumbers singleNumbers{};
};

// A spatial value with its validity: reasons are codes of SpatialReasonOf
// (empty: valid).
struct SpatialValue {
  double value = 0.0;
  std::vector<std::string> reasons;
  bool Valid() const { return reasons.empty(); }
};

struct IsoPairBand {
  int row = 0;
  double nominalHz = 0.0;
  SpatialValue iaccEarly, iaccLate, iaccAll;  // binaural
  SpatialValue jlf, jlfc;                     // omni + figure-of-eight
};

struct IsoPairEvaluation {
  PairKind kind = PairKind::None;
  double onsetSeconds = 0.0;       // the direct sound: the omni's onset, or the earlier ear's
  std::vector<IsoPairBand> bands;  // the evaluated rows, row order
  SpatialValue oneMinusIaccE3;     // binaural
  SpatialValue jlf, jlfc;          // omni + figure-of-eight: 125 Hz to 1 kHz
};

struct IsoFileEvaluation {
  bool done = false;  // false: not asked for, or stopped before its end
  double rateHz = 0.0;
  bool thirdOctave = false;
  std::vector<IsoChannelEvaluation> channels;  // per used channel
  IsoPairEvaluation pair;                      // a declared pair of two channels
};

struct IsoRequest {
  bool thirdOctave = false;
  bool keepPlots = false;  // decay plots for drawing
  PairKind pair = PairKind::None;
  double figure8GainDb = 0.0;  // added to the figure-of-eight's level
};

// Points of a drawn decay curve.
constexpr int ISO_PLOT_POINTS = 400;

// Evaluates every channel of `interleaved` (frames x channels samples at
// rateHz), and the declared pair of a two-channel file. `stop` is read
// between bands; a stopped evaluation is not done.
void EvaluateIsoFile(const float* interleaved, size_t frames, size_t channels, double rateHz,
                     const IsoRequest& request, const std::atomic<bool>* stop, IsoFileEvaluation& out);

// The same evaluation from the band signals of the plug-in's own run, which
// are bit for bit those EvaluateIsoFile filters (the same filters on the same
// samples), so nothing is filtered twice: Take receives each band signal in
// the plug-in's order (Lin first, channel after channel) and evaluates it
// at once; Finish completes the file, and re-filters the selection as
// EvaluateIsoFile does when the run did not deliver every band (no first
// arrival, a stop, a layout without bands). Either way `out` holds the same
// numbers. The samples must outlive the object.
class IsoTappedEvaluation {
 public:
  IsoTappedEvaluation(const float* interleaved, size_t frames, size_t channels, double rateHz,
                      const IsoRequest& request, const std::atomic<bool>* stop);
  // One band signal of channel `channel` (0: mono or left, 1: right), valid
  // during the call. May throw std::bad_alloc.
  void Take(size_t channel, const IsoBandSignal& band);
  // True when every band of every channel was taken and evaluated.
  bool Complete() const;
  // Moves the evaluation into `out` (re-filtering when not Complete()).
  void Finish(IsoFileEvaluation& out);

 private:
  const float* interleaved_;
  size_t frames_, channels_;
  double rateHz_;
  IsoRequest request_;
  const std::atomic<bool>* stop_;
  IsoFileEvaluation file_;
  IsoWorkspace work_;
  std::vector<size_t> taken_;                // band signals taken per channel
  std::vector<IsoOwnedBandSignal> kept_[2];  // the pair's band signals (a declared pair only)
  bool broken_ = false;                      // a band came out of order, or a stop
  bool ChannelComplete(size_t channel) const;
};

// Band signals a layout's run delivers per channel: Lin and every band.
size_t IsoBandSignalCount(bool thirdOctave);

// The reason codes of a reason mask, in the table's order.
std::vector<std::string> IsoReasonCodes(uint32_t reasons);
// The sentence of a band warning code ("" for another code).
const char* IsoWarningSentence(const std::string& code);
// The sentence of an ISO reason code ("" for another code).
const char* IsoReasonSentence(const std::string& code);

}  // namespace cli
