// What each cell of every output shows, decided once for all formats:
// whether a result is a value a person can use and if not why (read from
// the run record's statuses, so that a failure sentinel of the plug-in -
// LF 1.0 after a failure, a fit status number in an "r" slot with a decay
// time of 0 - is never presented as a result), the value's text as the
// results dialog shows it or the missing mark, the warning kept with a
// value, and the names of bands, channels and statuses.
//
// A new quantity shown per band (an evaluation block, a spatial value)
// adds its state function here, so that table, report, csv, json and HTML
// agree on what is missing and why.
#pragma once

#include <string>
#include <vector>

#include "host/cli/file_result.h"
#include "interface/bands.h"

namespace cli {

struct ValueState {
  bool computed = false;
  const char* reason = "";  // a code from ReasonCodes() when not computed
};

// Parameter `slot` of `band` (row) of `channel`. A decay fit that ends in
// noise far beyond the decay (FitEndsInNoise) is missing with the reason
// "fit-ends-in-noise", computed or not (its low correlation then has that
// cause); its number stays in the results store.
ValueState ParameterState(const FileResult& result, int channel, int band, int slot);

// The inter-channel rows (PAIR_ROWS of interface/bands.h). A declared pair
// shows only what fits it: with --pair binaural the LF rows are missing
// ("not-meaningful-for-binaural-pair"), with --pair wy the IACC rows
// ("not-meaningful-for-wy-pair"); the clipboard report keeps them.
ValueState PairState(const FileResult& result, PairRow row, int band);

// Noise correction of a band: computed = the noise floor was subtracted;
// otherwise the reason it was not (empty when it was not asked for).
ValueState NoiseCorrectionState(const FileResult& result, int band);

// Centre frequency of a band column in Hz as analysed at `rateHz`: the
// nominal centre scaled by the rate over 44100 Hz (0 for Lin). The one
// place the analysed centre is computed.
double AnalysedCentreHz(bool thirdOctave, int band, int rateHz);
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
// The warning codes of a plug-in value (WarningCodes()): the value is kept
// and every output carries them beside it. Today "low-inr" (InrWarning).
std::vector<std::string> ParameterWarnings(const FileResult& result, int channel, int band, int slot);

// A plug-in decay fit (EDT, RT20, RT30, RTU and their r) whose last point
// lies further from the ISO onset than twice the ISO 3382 truncation point
// of the same channel and band: its range ends in noise far beyond the
// decay (a selection much longer than the decay). Needs the ISO evaluation;
// false without it, or when that band has no truncation point.
bool FitEndsInNoise(const FileResult& result, int channel, int band, int slot);
// The latest ISO truncation point of a file (seconds from the start of the
// selection, over every channel and band that has one; NaN for none), and
// whether the selection is much longer than the decay: more than four
// times that and more than 5 s beyond it. main.cpp says so once per file.
double LatestTruncationSeconds(const FileResult& result);
bool SelectionMuchLongerThanDecay(const FileResult& result);

struct ReasonText {
  const char* code;
  const char* sentence;
};
// Every reason code with its plain sentence, for the documentation and the
// table's footnotes.
const std::vector<ReasonText>& ReasonCodes();
// Every warning code of a plug-in value with its sentence.
const std::vector<ReasonText>& WarningCodes();
// The sentence of a reason or warning code ("" for an unknown one).
const char* ReasonSentence(const std::string& code);

// --- What a cell shows ---------------------------------------------------

// The mark of anything that is not a result, in every text format.
constexpr const char* MISSING_MARK = "- -";

// Text of one results-dialog cell (the plug-in's own number formatting),
// MISSING_MARK for anything that is not a result.
std::string ParameterDialogText(const FileResult& result, int channel, int band, int slot);
std::string PairDialogText(const FileResult& result, PairRow row, int band);
std::string NoiseDialogText(const FileResult& result, int band);

// The value of an inter-channel row in the results store.
double PairValue(const FileResult& result, PairRow row, int band);

// --- The ISO 3382 evaluation -------------------------------------------------

// The values of a band of the ISO evaluation, in the order every output
// lists them.
enum IsoParameter { ISO_EDT = 0, ISO_T20, ISO_T30, ISO_C50, ISO_C80, ISO_D50, ISO_TS, ISO_PARAMETER_COUNT };
struct IsoParameterName {
  const char* key;   // json key and csv/table name: "EDT", "T20", "T30", "C50", "C80", "D50", "Ts"
  const char* unit;  // "s", "dB", "%", "ms"
};
extern const IsoParameterName ISO_PARAMETERS[ISO_PARAMETER_COUNT];

// The single numbers of ISO 3382-1 Annex A.
enum IsoSingle {
  ISO_SINGLE_EDT = 0,
  ISO_SINGLE_T20_MID,
  ISO_SINGLE_T30_MID,
  ISO_SINGLE_C80,
  ISO_SINGLE_D50,
  ISO_SINGLE_TS,
  ISO_SINGLE_COUNT
};
extern const IsoParameterName ISO_SINGLES[ISO_SINGLE_COUNT];  // keys "EDT", "T20mid", "T30mid", ...

// One ISO value as every output shows it: a number (absent when none could
// be computed), whether it is valid, every reason it is not (codes of
// IsoReasonSentence / SpatialReasonOf, invalidating), and warnings that go
// with it without invalidating it (codes of IsoWarningSentence).
struct IsoCell {
  bool present = false;  // a number exists (valid or not)
  double value = 0.0;
  bool valid = false;
  std::vector<std::string> reasons;
  std::vector<std::string> warnings;
};
// Whether the file has an ISO evaluation to show (asked for and done).
bool HasIso(const FileResult& result);
IsoCell IsoBandCell(const FileResult& result, int channel, int row, IsoParameter parameter);
IsoCell IsoSingleCell(const FileResult& result, int channel, IsoSingle single);
// The sentence of any ISO reason or warning code.
const char* IsoCodeSentence(const std::string& code);

// --- The ISO 3382 spatial quantities of a declared pair ---------------------

// Per band of the pair, in this order; the binaural pair has the IACC
// values, the omni + figure-of-eight (W/Y) pair J_LF and J_LFC.
enum IsoPairQuantity { ISO_IACC_E = 0, ISO_IACC_L, ISO_IACC_A, ISO_JLF, ISO_JLFC, ISO_PAIR_QUANTITY_COUNT };
extern const IsoParameterName ISO_PAIR_QUANTITIES[ISO_PAIR_QUANTITY_COUNT];  // "IACC_E", ..., "JLF", "JLFC"
// The pair's single numbers: 1 - IACC_E3 (binaural), J_LF and J_LFC over
// 125 Hz to 1 kHz (W/Y).
enum IsoPairSingle { ISO_ONE_MINUS_IACC_E3 = 0, ISO_SINGLE_JLF, ISO_SINGLE_JLFC, ISO_PAIR_SINGLE_COUNT };
extern const IsoParameterName ISO_PAIR_SINGLES[ISO_PAIR_SINGLE_COUNT];  // "oneMinusIACC_E3", "JLF", "JLFC"
// Whether a quantity or single number belongs to a pair kind.
bool PairHas(PairKind pair, IsoPairQuantity quantity);
bool PairHas(PairKind pair, IsoPairSingle single);
// The declared pair whose ISO spatial quantities the file has (None: mono,
// no --pair, --evaluation plugin, or no evaluation), and when None, why
// ("" for a mono file, "pair-not-declared", "not-evaluated").
PairKind IsoPairOf(const FileResult& result);
const char* IsoPairMissingReason(const FileResult& result);
// "binaural", "wy".
const char* PairKindName(PairKind pair);
// One spatial value as every output shows it (the IsoCell rule: a number
// only where valid; reasons are codes of SpatialReasonOf or of this file).
// `row` is the band's row of the layout (bands.h).
IsoCell SpatialCell(const FileResult& result, int row, IsoPairQuantity quantity);
IsoCell SpatialSingleCell(const FileResult& result, IsoPairSingle single);
// One spatial value as the table and the HTML report show it beside its
// notes: its number whenever it is finite, marked by its reasons when it is
// not valid; "not-computed" for a missing value that has no reason.
IsoCell SpatialValueCell(const SpatialValue& value);

// --- Names ----------------------------------------------------------------

// Band names as every host output gives them (table, csv, json, HTML): the
// IEC 61260-1 nominal frequency in Hz ("31.5", "1000", "1250"), and
// "broadband" for row 0 (the unfiltered response). The clipboard report and
// the dialogs keep the plug-in's own headings.
const char* BandName(bool thirdOctave, int band);
const char* BandName(const FileResult& result, int band);
// "mono", or "left" and "right".
const char* ChannelName(const FileResult& result, int channel);
// "ok", "unreadable", "no results", "refused", "interrupted".
const char* StatusName(const FileResult& result);
// Where the threshold came from: "auto", "given", "settings file".
const char* ThresholdSourceName(const FileResult& result);

// --- Times and fit ranges ---------------------------------------------------

// Seconds from the start of the file of a sample index of a band signal
// (or of the selection as analysed) at `rateHz`.
double FileSeconds(const FileResult& result, double index, double rateHz);
// The level range of each decay fit, dB below the level at the arrival
// (EDT, RT20, RT30, RTU).
struct FitRanges {
  double db[DECAY_FIT_COUNT][2];
  const double* operator[](int fit) const { return db[fit]; }
};
FitRanges FitRangesDb(const FileResult& result);
// The decay fit behind a parameter slot, -1 for none.
int FitOfSlot(int slot);

}  // namespace cli
