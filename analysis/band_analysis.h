// Per-channel band analysis: first arrival, Lin, then nine octave levels at
// successively halved rates, each band's eleven parameters into the store.
#pragma once

#include <cstdint>

#include "interface/settings.h"
#include "interface/xfm_types.h"

// Returns 1 when every level was analysed, 0 when the call stopped (no first
// arrival, or the user asked to stop). source is consumed; work holds at
// least 2 * (selEnd - selStart + 1) floats (the run's raw buffer), room for
// two third-octave band signals at once. values/valid are the channel's blocks
// of the store; for 'l' and 'm' the noiseCorrected row lies directly after
// the two valid blocks (valid + NOISE_CORRECTED_OFFSET).
uint8_t AnalyseChannelBands(float* source, float* work, float* values, char* valid,
                            AnalysisSettings* settings, char channelLetter, XfmContext* ctx);
