// Reading an impulse response through libsndfile into the sample scale that a
// host editor offers the plug-in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct sf_private_tag;  // libsndfile's SNDFILE

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

// One open audio file. Open() learns the facts of the file; ReadSelection()
// then decodes only the frames of the selection, converted once into the
// offered scale. A path of "-" is standard input, read whole into memory.
class AudioReader {
 public:
  AudioReader() = default;
  ~AudioReader();
  AudioReader(const AudioReader&) = delete;
  AudioReader& operator=(const AudioReader&) = delete;

  // Opens `path` (a regular file, or "-"), keeping the channels `channels`
  // (1-based; empty: all, which must be one or two); fills everything of
  // `audio` but its samples. On failure returns false and says why.
  bool Open(const std::string& path, const std::vector<int>& channels, AudioData& audio, std::string& error);

  // Decodes frames first..last (inclusive) into audio.samples. A file that
  // ends early keeps what could be read: `last` is moved back to the last
  // frame read. An interrupt (g_stopRequested, interrupts.h) stops the
  // decoding between chunks: false, "interrupted" and Interrupted().
  bool ReadSelection(uint64_t first, uint64_t& last, AudioData& audio, std::string& error);

  // The last ReadSelection was stopped by an interrupt.
  bool Interrupted() const { return interrupted_; }

  // Standard input as libsndfile's virtual I/O reads it.
  struct Memory {
    std::vector<unsigned char> bytes;
    int64_t position = 0;
  };

 private:
  bool SkipTo(uint64_t first, size_t fileChannels, std::string& error);
  bool Stopped(std::string& error);
  sf_private_tag* file_ = nullptr;
  Memory memory_;
  bool interrupted_ = false;
};

}  // namespace cli
