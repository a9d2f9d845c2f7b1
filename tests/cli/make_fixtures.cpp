// Writes the audio files of the command-line tests with libsndfile: the
// bundled 16-bit responses converted to other containers and sample formats,
// a synthetic exponential decay with a known reverberation time, and files
// that the host must refuse.
//
//   roomstat_cli_fixtures EXAMPLES_DIR OUT_DIR
#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

namespace {

struct Audio {
  int channels = 1;
  int rate = 44100;
  std::vector<double> samples;  // interleaved, full scale 1.0
  std::vector<int> words;       // the same as left-aligned 32-bit words (converted files only)
};

bool ReadShorts(const std::string& path, Audio& audio) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (!file) {
    std::fprintf(stderr, "cannot open %s: %s\n", path.c_str(), sf_strerror(nullptr));
    return false;
  }
  std::vector<short> shorts(static_cast<size_t>(info.frames * info.channels));
  sf_readf_short(file, shorts.data(), info.frames);
  sf_close(file);
  audio.channels = info.channels;
  audio.rate = info.samplerate;
  // libsndfile scales doubles by 0x7FFF on integer writes and leaves
  // integers unscaled on float writes, so integer targets are written from
  // left-aligned words and float targets from value / 32768: both exact.
  audio.words.resize(shorts.size());
  audio.samples.resize(shorts.size());
  for (size_t i = 0; i < shorts.size(); ++i) {
    audio.words[i] = static_cast<int>(static_cast<uint32_t>(static_cast<uint16_t>(shorts[i])) << 16);
    audio.samples[i] = shorts[i] / 32768.0;
  }
  return true;
}

bool Write(const std::string& path, int format, const Audio& audio) {
  SF_INFO info{};
  info.channels = audio.channels;
  info.samplerate = audio.rate;
  info.format = format;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!file) {
    std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), sf_strerror(nullptr));
    return false;
  }
  // Integer targets are written from the exact 16-bit values so that every
  // lossless format holds the original samples; no clipping or dither.
  sf_command(file, SFC_SET_CLIPPING, nullptr, SF_FALSE);
  const int subtype = format & SF_FORMAT_SUBMASK;
  const bool useWords = !audio.words.empty() && subtype != SF_FORMAT_FLOAT && subtype != SF_FORMAT_DOUBLE;
  const sf_count_t frames = static_cast<sf_count_t>(audio.samples.size() / static_cast<size_t>(audio.channels));
  const bool written = useWords ? sf_writef_int(file, audio.words.data(), frames) == frames
                                : sf_writef_double(file, audio.samples.data(), frames) == frames;
  sf_close(file);
  if (!written) std::fprintf(stderr, "short write %s\n", path.c_str());
  return written;
}

// Exponentially decaying noise: the energy falls by 60 dB in `rtSeconds`,
// after `leadSamples` of silence. A fixed linear congruential generator keeps
// the file the same on every machine.
Audio Decay(int channels, double rtSeconds, double peak, int rate, double seconds, int leadSamples) {
  Audio audio;
  audio.channels = channels;
  audio.rate = rate;
  const size_t frames = static_cast<size_t>(seconds * rate);
  audio.samples.assign(frames * static_cast<size_t>(channels), 0.0);
  uint32_t state = 12345;
  const double decayPerSample = std::log(10.0) * 3.0 / (rtSeconds * rate);  // amplitude: -60 dB over rt
  for (size_t f = static_cast<size_t>(leadSamples); f < frames; ++f) {
    const double envelope = peak * std::exp(-decayPerSample * static_cast<double>(f - leadSamples));
    for (int c = 0; c < channels; ++c) {
      state = state * 1664525u + 1013904223u;
      const double uniform = (static_cast<double>(state >> 8) / 16777216.0) * 2.0 - 1.0;
      audio.samples[f * channels + c] = envelope * uniform;
    }
  }
  // A clear first arrival at the peak.
  for (int c = 0; c < channels; ++c) audio.samples[static_cast<size_t>(leadSamples) * channels + c] = peak;
  return audio;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s EXAMPLES_DIR OUT_DIR\n", argv[0]);
    return 1;
  }
  const std::string examples = argv[1], out = std::string(argv[2]) + "/";
  std::error_code ignored;
  std::filesystem::create_directories(argv[2], ignored);
  Audio mono, stereo;
  if (!ReadShorts(examples + "/living_room.wav", mono) || !ReadShorts(examples + "/binaural_clap.wav", stereo)) return 1;

  bool ok = true;
  const struct {
    const char* name;
    int format;
  } monoFormats[] = {
      {"mono_pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
      {"mono_u8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8},
      {"mono_pcm24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24},
      {"mono_pcm32.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32},
      {"mono_float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
      {"mono_double.wav", SF_FORMAT_WAV | SF_FORMAT_DOUBLE},
      {"mono_ext_pcm24.wav", SF_FORMAT_WAVEX | SF_FORMAT_PCM_24},
      {"mono_pcm16.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
      {"mono_s8.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_S8},
      {"mono_pcm24.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24},
      {"mono_pcm16.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
      {"mono_pcm24.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
      {"mono_float.w64", SF_FORMAT_W64 | SF_FORMAT_FLOAT},
      {"mono_pcm24.rf64", SF_FORMAT_RF64 | SF_FORMAT_PCM_24},
      {"mono_ulaw.wav", SF_FORMAT_WAV | SF_FORMAT_ULAW},
  };
  for (const auto& f : monoFormats) ok = Write(out + f.name, f.format, mono) && ok;
  ok = Write(out + "stereo_pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, stereo) && ok;
  ok = Write(out + "stereo_float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, stereo) && ok;
  ok = Write(out + "stereo_pcm24.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, stereo) && ok;

  // The stereo response with its channels in the middle of three.
  Audio three;
  three.channels = 3;
  three.rate = stereo.rate;
  for (size_t f = 0; f < stereo.words.size() / 2; ++f) {
    for (int c = 0; c < 3; ++c) {
      const int word = c == 1 ? static_cast<int>(f % 7) << 20 : stereo.words[2 * f + (c == 0 ? 0 : 1)];
      three.words.push_back(word);
      three.samples.push_back(word / 2147483648.0);
    }
  }
  ok = Write(out + "three_channels.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, three) && ok;

  // Known decay: RT 1.0 s at 48 kHz; a loud float copy 12 dB above full
  // scale; a quiet copy whose peak stays near 400 in the 16-bit scale.
  const Audio decay = Decay(1, 1.0, 0.6, 48000, 1.6, 240);
  ok = Write(out + "decay.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, decay) && ok;
  ok = Write(out + "decay_pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, decay) && ok;
  ok = Write(out + "decay_u8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, decay) && ok;
  ok = Write(out + "decay_ulaw.wav", SF_FORMAT_WAV | SF_FORMAT_ULAW, decay) && ok;
  ok = Write(out + "decay_loud.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, Decay(1, 1.0, 2.4, 48000, 1.6, 240)) && ok;
  ok = Write(out + "decay_quiet.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT,
             Decay(1, 1.0, 400.0 / 32768.0, 48000, 1.6, 240)) && ok;

  Audio bad = decay;
  bad.samples[1000] = std::numeric_limits<double>::quiet_NaN();
  ok = Write(out + "nan.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, bad) && ok;
  bad.samples[1000] = std::numeric_limits<double>::infinity();
  ok = Write(out + "inf.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, bad) && ok;
  Audio none;
  ok = Write(out + "zero_frames.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, none) && ok;
  return ok ? 0 : 1;
}
