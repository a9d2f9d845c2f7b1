// Reading an impulse response through libsndfile into the sample scale that a
// host editor offers the plug-in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cli {

// A file's audio, as the plug-in will be offered it.
struct AudioData {
  std::string majorFormat;  // e.g. "WAV (Microsoft)"
  std::string subFormat;    // e.g. "Signed 16 bit PCM"
  int fileChannels = 0;
  std::vector<int> usedChannels;  // 1-based channels of the file, one or two
  int32_t sampleRate = 0;
  uint64_t fileFrames = 0;
  // Width offered to the plug-in: 8 and 16 for files of that integer width,
  // 32 (float in the 16-bit integer scale, full scale 32768) for every other.
  uint16_t bitsOffered = 16;
  bool floatSource = false;  // the file holds floating-point samples
  // Interleaved frames of the used channels in the scale of bitsOffered.
  std::vector<float> samples;
};

// Reads `path`, keeping the channels `channels` (1-based; empty: all, which
// must be one or two). On failure returns false and says why in `error`.
bool ReadAudioFile(const std::string& path, const std::vector<int>& channels, AudioData& audio,
                   std::string& error);

}  // namespace cli
