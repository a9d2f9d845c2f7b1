#include "analysis/selection.h"

#include <cstring>

#include "hostlink/host_services.h"

SelectionFormat SelectionFormatOf(const XfmContext* ctx) {
  SelectionFormat format;
  format.frameCount = ctx->selEnd - ctx->selStart + 1;
  format.channelCount = ctx->channelCount == 2 ? 2 : 1;
  format.bitsPerSample = ctx->bitsPerSample;
  const uint32_t widthCode = ctx->bitsPerSample == 32 ? 32 : ctx->bitsPerSample == 16 ? 16 : 8;
  format.formatWord = format.channelCount | widthCode;
  return format;
}

bool ConvertChannel(const void* raw, const SelectionFormat& format, uint32_t channel, float* destination) {
  const uint32_t stride = format.channelCount;
  switch (format.bitsPerSample) {
    case 8: {
      const int8_t* samples = static_cast<const int8_t*>(raw);
      for (uint32_t i = 0; i < format.frameCount; ++i) destination[i] = samples[i * stride + channel];
      return true;
    }
    case 16: {
      const uint8_t* bytes = static_cast<const uint8_t*>(raw);
      for (uint32_t i = 0; i < format.frameCount; ++i) {
        const uint8_t* at = bytes + 2 * (static_cast<size_t>(i) * stride + channel);
        const int16_t sample = static_cast<int16_t>(static_cast<uint16_t>(at[0] | (at[1] << 8)));
        destination[i] = sample;
      }
      return true;
    }
    case 32: {
      const uint8_t* bytes = static_cast<const uint8_t*>(raw);
      for (uint32_t i = 0; i < format.frameCount; ++i) {
        float sample;
        std::memcpy(&sample, bytes + 4 * (static_cast<size_t>(i) * stride + channel), sizeof sample);
        destination[i] = sample;
      }
      return true;
    }
    default:
      return format.frameCount == 0;
  }
}

void FetchSelection(XfmContext* ctx, const SelectionFormat& format, void* raw) {
  CallGetSamples(ctx, raw, ctx->selStart, format.frameCount, format.formatWord);
}
