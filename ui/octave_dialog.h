// Filling the octave results dialog's table from the results store.
#pragma once

#include <windows.h>

#include <cstdint>

#include "interface/results_view.h"

// N.C. row (only when noiseCorrection is non-zero) and the 121 value cells of
// `channel`.
void FillOctaveGrid(int channel, const ResultsView& results, uint8_t noiseCorrection, HWND window);
// The eleven LF cells, and the IACC, W IACC and Tau IACC cells of bands 0..10.
void FillPairRows(const ResultsView& results, HWND window);
