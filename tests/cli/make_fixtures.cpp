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
  if (!file) return std::fprintf(stderr, "cannot open %s: %s\n", path.c_str(), sf_strerror(nullptr)), false;
  std::vector<short> shorts(static_cast<size_t>(info.frames * info.channels));
  sf_readf_short(file, shorts.data(), info.frames);
  sf_close(file);
  audio.channels = info.channels;
  audio.rate = info.samplerate;
  // libsndfile scales doubles by 0x7FFF on integer writes and leaves
  // integers unscaled on float writes, so integer targets are written from
  // left-aligned words and float targets from value / 32768: both exact.
  for (short s : shorts) {
    audio.words.push_back(static_cast<int>(static_cast<uint32_t>(static_cast<uint16_t>(s)) << 16));
    audio.samples.push_back(s / 32768.0);
  }
  return true;
}

bool Write(const std::string& path, int format, const Audio& audio) {
  SF_INFO info{};
  info.channels = audio.channels;
  info.samplerate = audio.rate;
  info.format = format;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!file) return std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), sf_strerror(nullptr)), false;
  // Integer targets are written from the exact 16-bit values so that every
  // lossless format holds the original samples; no clipping or dither.
  sf_command(file, SFC_SET_CLIPPING, nullptr, SF_FALSE);
  const int subtype = format & SF_FORMAT_SUBMASK;
  const bool useWords = !audio.words.empty() && subtype != SF_FORMAT_FLOAT && subtype != SF_FORMAT_DOUBLE;
  const sf_count_t frames = static_cast<sf_count_t>(audio.samples.size()) / audio.channels;
  const bool written = useWords ? sf_writef_int(file, audio.words.data(), frames) == frames
                                : sf_writef_double(file, audio.samples.data(), frames) == frames;
  sf_close(file);
  if (!written) std::fprintf(stderr, "short write %s\n", path.c_str());
  return written;
}

// Exponentially decaying noise at 48 kHz for 1.6 s: the energy falls by 60 dB
// in 1 s after 240 samples of silence, starting with a clear first arrival at
// `peak`. A fixed linear congruential generator keeps the file the same on
// every machine.
Audio Decay(double peak) {
  constexpr int RATE = 48000, LEAD = 240;
  Audio audio;
  audio.rate = RATE;
  audio.samples.assign(static_cast<size_t>(1.6 * RATE), 0.0);
  uint32_t state = 12345;
  const double decayPerSample = std::log(10.0) * 3.0 / RATE;  // amplitude: -60 dB over 1 s
  for (size_t f = LEAD; f < audio.samples.size(); ++f) {
    state = state * 1664525u + 1013904223u;
    const double uniform = (static_cast<double>(state >> 8) / 16777216.0) * 2.0 - 1.0;
    audio.samples[f] = peak * std::exp(-decayPerSample * static_cast<double>(f - LEAD)) * uniform;
  }
  audio.samples[LEAD] = peak;
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
  if (!ReadShorts(examples + "/living_room.wav", mono)) return 1;
  if (!ReadShorts(examples + "/binaural_clap.wav", stereo)) return 1;

  // The stereo response with its channels around a third one in the middle.
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
  // Known decay; a loud float copy 12 dB above full scale; a quiet copy whose
  // peak stays near 400 in the 16-bit scale; copies holding a NaN or an infinity.
  const Audio decay = Decay(0.6), loud = Decay(2.4), quiet = Decay(400.0 / 32768.0), none;
  Audio nan = decay, inf = decay;
  nan.samples[1000] = std::numeric_limits<double>::quiet_NaN();
  inf.samples[1000] = std::numeric_limits<double>::infinity();

  const struct {
    const char* name;
    int format;
    const Audio& audio;
  } files[] = {
      {"mono_pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, mono},
      {"mono_u8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, mono},
      {"mono_pcm24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, mono},
      {"mono_pcm32.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32, mono},
      {"mono_float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, mono},
      {"mono_double.wav", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, mono},
      {"mono_ext_pcm24.wav", SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, mono},
      {"mono_pcm16.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, mono},
      {"mono_pcm24.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, mono},
      {"mono_pcm16.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, mono},
      {"mono_pcm24.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, mono},
      {"mono_float.w64", SF_FORMAT_W64 | SF_FORMAT_FLOAT, mono},
      {"mono_pcm24.rf64", SF_FORMAT_RF64 | SF_FORMAT_PCM_24, mono},
      {"stereo_pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, stereo},
      {"stereo_float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, stereo},
      {"stereo_pcm24.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, stereo},
      {"three_channels.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, three},
      {"decay.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, decay},
      {"decay_pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, decay},
      {"decay_u8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, decay},
      {"decay_ulaw.wav", SF_FORMAT_WAV | SF_FORMAT_ULAW, decay},
      {"decay_loud.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, loud},
      {"decay_quiet.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, quiet},
      {"nan.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, nan},
      {"inf.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, inf},
      {"zero_frames.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, none},
  };
  bool ok = true;
  for (const auto& f : files) ok = Write(out + f.name, f.format, f.audio) && ok;
  return ok ? 0 : 1;
}
