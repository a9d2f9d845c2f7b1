// Filling the octave results dialog's table from the results store.
#pragma once

#include <windows.h>

#include <cstdint>

// N.C. row (only when noiseCorrection is non-zero) and the 121 value cells of
// `channel`. valid and values are the starts of channel 0 (resultFlags,
// resultValues); channel 1 follows after 308 entries and the noise-correction
// marks follow the two valid blocks.
void FillOctaveGrid(int channel, const char* valid, const float* values, uint8_t noiseCorrection,
                    HWND window);
// The eleven LF cells from lf[0..10].
void FillLateralRow(const double* lf, HWND window);
// IACC, W IACC and Tau IACC cells of bands 0..10, band by band.
void FillBinauralRows(const double* iacc, const double* wIacc, const double* tauIacc, HWND window);
