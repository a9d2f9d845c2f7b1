// Filling the third-octave results dialog's table from the results store.
#pragma once

#include <windows.h>

#include <cstdint>

// Rows 0..rows-1 of all 28 columns with parameters firstParameter.. of
// `channel`, and, when noiseCorrection is non-zero, the 27 N.C. cells.
// valid and values are the starts of channel 0 (resultFlags, resultValues).
void FillThirdOctaveGrid(int channel, int firstParameter, int rows, uint8_t noiseCorrection,
                         const char* valid, const float* values, HWND window);
