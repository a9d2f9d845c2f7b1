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
