// Whether each result of a file is a value a person can use, and if not,
// why: read from the run record's statuses, so that a failure sentinel of
// the plug-in (LF 1.0 after a failure, a fit status number in an "r" slot
// with a decay time of 0) is never presented as a result. Every output
// format asks here.
#pragma once

#include <string>

#include "host/cli/analysis.h"

namespace cli {

struct ValueState {
  bool computed = false;
  const char* reason = "";  // a code from ReasonCodes() when not computed
};

// Parameter `slot` of `band` (row) of `channel`.
ValueState ParameterState(const FileResult& result, int channel, int band, int slot);

// The inter-channel rows, in the order of the dialog.
enum PairRow { PAIR_LF = 0, PAIR_IACC, PAIR_W_IACC, PAIR_TAU_IACC, PAIR_ROW_COUNT };
ValueState PairState(const FileResult& result, PairRow row, int band);

// Noise correction of a band: computed = the noise floor was subtracted;
// otherwise the reason it was not (empty when it was not asked for).
ValueState NoiseCorrectionState(const FileResult& result, int band);

// Centre frequency of a band column in Hz as analysed: the nominal centre
// scaled by the analysis rate over 44100 Hz (0 for Lin).
double BandCentreHz(const FileResult& result, int band);
// Whether the band columns are the nominal IEC 61260 bands (analysed at
// 44100 Hz, resampled or not).
bool NominalBands(const FileResult& result);
// A band whose upper edge lies above the Nyquist frequency of a file that
// was resampled up to the analysis rate: it holds no signal of the file.
bool AboveBandwidth(const FileResult& result, int band);

// The impulse-to-noise ratio (dB) a decay fit of `slot` needs (ISO 3382-1:
// 35 dB for T20, 45 dB for T30, 10 dB above the end of RTU's range), 0 for
// any other parameter.
double RequiredInrDb(const FileResult& result, int slot);
// A computed value whose band's impulse-to-noise ratio lies below what its
// fit needs: the value stays, flagged. Empty when there is nothing to say.
std::string InrWarning(const FileResult& result, int channel, int band, int slot);

struct ReasonText {
  const char* code;
  const char* sentence;
};
// Every reason code with its plain sentence, for the documentation and the
// table's footnotes.
const std::vector<ReasonText>& ReasonCodes();
// The sentence of a code ("" for an unknown one).
const char* ReasonSentence(const std::string& code);

}  // namespace cli
