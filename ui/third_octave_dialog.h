// Filling the third-octave results dialog's table from the results store.
#pragma once

#include <windows.h>

#include <cstdint>

#include "interface/results_view.h"

// Rows 0..rows-1 of all 28 columns with parameters firstParameter.. of
// `channel`, and, when noiseCorrection is non-zero, the 27 N.C. cells.
void FillThirdOctaveGrid(int channel, int firstParameter, int rows, uint8_t noiseCorrection,
                         const ResultsView& results, HWND window);
