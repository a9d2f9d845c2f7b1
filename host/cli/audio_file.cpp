#include "host/cli/audio_file.h"

#include <sndfile.h>

#include <cmath>
#include <cstdio>

namespace cli {

namespace {

// Name of a major format or a subtype, as libsndfile tells it.
std::string FormatName(int format) {
  SF_FORMAT_INFO info{};
  info.format = format;
  if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof(info)) == 0 && info.name) return info.name;
  char text[32];
  std::snprintf(text, sizeof(text), "0x%04X", format);
  return text;
}

// Sample width that a host editor offers for a file of this subtype.
uint16_t OfferedBits(int subtype) {
  switch (subtype) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
      return 8;
    case SF_FORMAT_PCM_16:
      return 16;
    default:
      return 32;
  }
}

bool IsFloatSubtype(int subtype) { return subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE; }

struct SndFileCloser {
  SNDFILE* file;
  ~SndFileCloser() {
    if (file) sf_close(file);
  }
};

}  // namespace

bool ReadAudioFile(const std::string& path, const std::vector<int>& channels, AudioData& audio,
                   std::string& error) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (!file) {
    error = std::string("cannot read: ") + sf_strerror(nullptr);
    return false;
  }
  SndFileCloser closer{file};
  audio.majorFormat = FormatName(info.format & SF_FORMAT_TYPEMASK);
  audio.subFormat = FormatName(info.format & SF_FORMAT_SUBMASK);
  audio.fileChannels = info.channels;
  audio.sampleRate = info.samplerate;
  audio.fileFrames = info.frames < 0 ? 0 : static_cast<uint64_t>(info.frames);
  const int subtype = info.format & SF_FORMAT_SUBMASK;
  audio.bitsOffered = OfferedBits(subtype);
  audio.floatSource = IsFloatSubtype(subtype);

  if (channels.empty()) {
    if (info.channels > 2) {
      error = "has " + std::to_string(info.channels) +
              " channels; the analysis takes one or two: pick them with --channels A,B";
      return false;
    }
    audio.usedChannels.clear();
    for (int c = 1; c <= info.channels; ++c) audio.usedChannels.push_back(c);
  } else {
    for (int c : channels) {
      if (c > info.channels) {
        error = "has no channel " + std::to_string(c) + " (it has " + std::to_string(info.channels) + ")";
        return false;
      }
    }
    audio.usedChannels = channels;
  }
  if (info.samplerate <= 0) {
    error = "has no valid sampling rate";
    return false;
  }
  if (audio.fileFrames == 0) {
    error = "holds no sample frames";
    return false;
  }
  if (audio.fileFrames > 0x7FFFFFFFull / 8) {
    error = "is too long for one analysis (" + std::to_string(audio.fileFrames) + " frames)";
    return false;
  }

  const size_t used = audio.usedChannels.size();
  const size_t fileChannels = static_cast<size_t>(info.channels);
  audio.samples.assign(static_cast<size_t>(audio.fileFrames) * used, 0.0f);
  constexpr sf_count_t CHUNK_FRAMES = 8192;
  std::vector<int> intBuffer;
  std::vector<double> doubleBuffer;
  const bool integerPath = audio.bitsOffered != 32;
  if (integerPath) intBuffer.resize(CHUNK_FRAMES * fileChannels);
  else doubleBuffer.resize(CHUNK_FRAMES * fileChannels);
  // Integer reads come left-aligned in 32 bits: shift down to the offered width.
  const int shift = audio.bitsOffered == 8 ? 24 : 16;

  uint64_t frame = 0;
  while (frame < audio.fileFrames) {
    const sf_count_t got = integerPath ? sf_readf_int(file, intBuffer.data(), CHUNK_FRAMES)
                                       : sf_readf_double(file, doubleBuffer.data(), CHUNK_FRAMES);
    if (got <= 0) break;
    for (sf_count_t f = 0; f < got && frame < audio.fileFrames; ++f, ++frame) {
      for (size_t u = 0; u < used; ++u) {
        const size_t source = static_cast<size_t>(f) * fileChannels + static_cast<size_t>(audio.usedChannels[u] - 1);
        float sample;
        if (integerPath) {
          sample = static_cast<float>(intBuffer[source] >> shift);
        } else {
          const double value = doubleBuffer[source];
          if (!std::isfinite(value)) {
            error = "frame " + std::to_string(frame) + " of channel " + std::to_string(audio.usedChannels[u]) +
                    " is not a finite number (NaN or infinite samples cannot be analysed)";
            return false;
          }
          // Full scale of the file (1.0) becomes 32768, the 16-bit integer scale.
          sample = static_cast<float>(value * 32768.0);
          if (!std::isfinite(sample)) {
            error = "frame " + std::to_string(frame) + " of channel " + std::to_string(audio.usedChannels[u]) +
                    " lies beyond the range of single-precision samples";
            return false;
          }
        }
        audio.samples[static_cast<size_t>(frame) * used + u] = sample;
      }
    }
  }
  if (frame < audio.fileFrames) {
    // A truncated file: keep what could be read, as an editor would.
    audio.fileFrames = frame;
    audio.samples.resize(static_cast<size_t>(frame) * used);
    if (frame == 0) {
      error = std::string("holds no readable sample frames: ") + sf_strerror(file);
      return false;
    }
  }
  return true;
}

}  // namespace cli
