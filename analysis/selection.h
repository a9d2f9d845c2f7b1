// The selection as the host delivers it, and its conversion to one channel
// of floats in the integer scale of the source.
#pragma once

#include <cstdint>

#include "interface/xfm_types.h"

// What the host delivers: N interleaved frames, each sample in the width that
// the format word asked for.
struct SelectionFormat {
  uint32_t frameCount;
  uint32_t channelCount;  // 2 for stereo, 1 otherwise
  uint16_t bitsPerSample;
  uint32_t formatWord;  // channel code | width code; sampleFlags is added by the forwarding call
};

// The format of ctx's selection (any channel count but 2 is taken as mono).
SelectionFormat SelectionFormatOf(const XfmContext* ctx);
// Fetches the selection's frames into raw.
void FetchSelection(XfmContext* ctx, const SelectionFormat& format, void* raw);
// Converts one channel of the delivered frames into floats in the integer
// scale of the source. False for a width that cannot be converted (the run
// then ends at the first sample it meets).
bool ConvertChannel(const void* raw, const SelectionFormat& format, uint32_t channel, float* destination);
